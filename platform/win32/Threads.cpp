// Worker threads as kernel threads: created suspended, resumed, joined with a time-out.

#include "platform/win32/Win32Handles.h"

namespace vel::platform {

namespace {

// Handed to the new thread, which owns and frees it once it runs.
struct StartBlock {
    WorkerThread::Entry entry = nullptr;
    void* arg = nullptr;
    bool abandoned = false;  // released before Resume: end without running the entry
};

DWORD WINAPI ThreadStart(LPVOID param) {
    std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(param));
    if (block->abandoned) {
        return 0;
    }
    const WorkerThread::Entry entry = block->entry;
    void* const arg = block->arg;
    block.reset();
    entry(arg);
    return 0;
}

}  // namespace

struct WorkerThread::Impl {
    HANDLE handle = nullptr;
    // The suspended thread's start block; only this side touches it, and only until Resume.
    StartBlock* pending = nullptr;
};

WorkerThread::WorkerThread() : impl_(std::make_unique<Impl>()) {}

WorkerThread::~WorkerThread() {
    if (!impl_->handle) {
        return;
    }
    if (impl_->pending) {
        // Never resumed: let it start only to free its block and end.
        impl_->pending->abandoned = true;
        ResumeThread(impl_->handle);
    }
    CloseHandle(impl_->handle);
}

bool WorkerThread::CreateSuspended(Entry entry, void* arg) {
    if (impl_->handle || !entry) {
        return false;
    }
    auto block = std::make_unique<StartBlock>();
    block->entry = entry;
    block->arg = arg;
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, ThreadStart, block.get(), CREATE_SUSPENDED, &id);
    if (!handle) {
        return false;
    }
    impl_->pending = block.release();
    impl_->handle = handle;
    return true;
}

bool WorkerThread::Resume() {
    if (impl_->handle && impl_->pending && ResumeThread(impl_->handle) != static_cast<DWORD>(-1)) {
        impl_->pending = nullptr;  // the thread owns its block from now on
        return true;
    }
    return false;
}

bool WorkerThread::Join(uint32_t timeoutMs) {
    if (!impl_->handle) {
        return true;
    }
    return WaitForSingleObject(impl_->handle, timeoutMs) == WAIT_OBJECT_0;
}

bool WorkerThread::Started() const {
    return impl_->handle != nullptr;
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(GetCurrentProcessId());
}

}  // namespace vel::platform
