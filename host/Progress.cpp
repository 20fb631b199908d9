#include "host/Progress.h"

#include <cmath>

namespace velnr {

namespace {

// The status text of the plug-in's whole-image analysis job.
constexpr const char* kAnalysisStatus = "Image pre-analysis...";

int WholePercent(float percent) {
    if (!(percent > 0.0f)) {
        return 0;
    }
    if (percent >= 100.0f) {
        return 100;
    }
    return static_cast<int>(percent);
}

}  // namespace

ProgressDisplay::ProgressDisplay(std::FILE* stream, bool terminal, bool quiet, int files)
    : stream_(stream), terminal_(terminal), quiet_(quiet), files_(files < 1 ? 1 : files) {}

std::string ProgressDisplay::Bar(float percent, int width) {
    width = width < 0 ? 0 : width;
    const int filled = WholePercent(percent) * width / 100;
    std::string bar(static_cast<size_t>(width) + 2, '-');
    bar.front() = '[';
    bar.back() = ']';
    for (int i = 0; i < filled; ++i) {
        bar[static_cast<size_t>(i) + 1] = '#';
    }
    return bar;
}

void ProgressDisplay::BeginFile(int index, const std::string& name) {
    index_ = index;
    name_ = name;
    status_.clear();
    shownPercent_ = -1;
    analysisSeen_ = false;
}

void ProgressDisplay::Update(const char* status, float percent) {
    if (quiet_) {
        return;
    }
    const int whole = WholePercent(percent);
    const bool newStatus = status_ != (status ? status : "");
    if (!newStatus && whole == shownPercent_) {
        return;
    }
    if (newStatus) {
        status_ = status ? status : "";
    }
    if (terminal_) {
        // A run may analyse the whole image before it reduces the noise; the batch bar gives
        // the analysis the first 30% of the file so that it never runs backwards.
        float filePercent = static_cast<float>(whole);
        if (status_ == kAnalysisStatus) {
            analysisSeen_ = true;
            filePercent *= 0.3f;
        } else if (analysisSeen_) {
            filePercent = 30.0f + 0.7f * filePercent;
        }
        const float batch = (static_cast<float>(index_) + filePercent / 100.0f) /
                            static_cast<float>(files_) * 100.0f;
        std::fprintf(stream_, "\r\033[K[%d/%d] %s: %s %s %3d%%  batch %s %3d%%", index_ + 1, files_,
                     name_.c_str(), status_.c_str(), Bar(percent, 20).c_str(), whole,
                     Bar(batch, 10).c_str(), WholePercent(batch));
        lineOpen_ = true;
    } else if (newStatus || whole / 25 != shownPercent_ / 25) {
        std::fprintf(stream_, "velnr: [%d/%d] %s: %s %d%%\n", index_ + 1, files_, name_.c_str(),
                     status_.c_str(), whole);
    }
    std::fflush(stream_);
    shownPercent_ = whole;
}

void ProgressDisplay::Step(const char* status) {
    if (terminal_) {
        Update(status, static_cast<float>(shownPercent_ < 0 ? 0 : shownPercent_));
    }
}

void ProgressDisplay::Clear() {
    if (lineOpen_) {
        std::fprintf(stream_, "\r\033[K");
        std::fflush(stream_);
        lineOpen_ = false;
    }
}

void ProgressDisplay::EndBatch() {
    Clear();
}

void ProgressDisplay::Callback(void* context, const char* status, float percent) {
    static_cast<ProgressDisplay*>(context)->Update(status, percent);
}

}  // namespace velnr
