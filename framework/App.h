#pragma once
// The application object, message boxes, beeps, common file dialogs, and the hooks through
// which tests and tools answer them without a user.

#include <functional>
#include <string>
#include <vector>

#include "framework/Wnd.h"

namespace vel::fw {

// One per library. Names the per-user profile ("registry key" and application name).
class CWinApp {
  public:
    explicit CWinApp(std::string appName);
    ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    void SetRegistryKey(std::string company);
    const std::string& RegistryKey() const { return company_; }
    const std::string& AppName() const { return appName_; }
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view defaultValue) const;

  private:
    std::string appName_;
    std::string company_;
};
CWinApp* AfxGetApp();

// Windows can be shown: on Windows always; on Linux when a display (or Qt's offscreen
// platform) is usable. The first failure prints one line on standard error.
bool EnsureGui();
// Runs the window backend's waiting events once; false when a quit request was taken.
bool PumpMessages();

// What a shown window (with its children) looks like now: rows top-down, pixels red, green,
// blue; empty when there is no window.
struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    Colour At(int x, int y) const;
};
WindowPicture GrabWindow(const CWnd& wnd);
// The window's picture written to a PNG file; false on failure.
bool SaveWindowPng(const CWnd& wnd, const std::string& path);

// Message box types and results.
enum MessageBoxType : uint32_t {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbYesNo = 0x4,
    kMbIconExclamation = 0x30,
    kMbIconInformation = 0x40,
};
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

int AfxMessageBox(std::string_view text, uint32_t type = kMbOk);
void MessageBeep(uint32_t type);

// The common open and save dialogs. filter as "Presets (*.pst)|*.pst||".
class CFileDialog {
  public:
    CFileDialog(bool open, std::string defaultExtension, std::string fileName, bool overwritePrompt,
                std::string filter, CWnd* parent = nullptr);
    void SetTitle(std::string title) { title_ = std::move(title); }
    int DoModal();  // kIdOk or kIdCancel
    std::string GetPathName() const { return path_; }

    bool IsOpen() const { return open_; }
    const std::string& DefaultExtension() const { return defaultExtension_; }
    const std::string& Title() const { return title_; }
    const std::string& Filter() const { return filter_; }
    bool OverwritePrompt() const { return overwritePrompt_; }
    const std::string& FileName() const { return fileName_; }
    // The path with the default extension added when it has none.
    static std::string WithDefaultExtension(std::string path, std::string_view extension);

  private:
    bool open_;
    std::string defaultExtension_;
    std::string fileName_;
    bool overwritePrompt_;
    std::string filter_;
    CWnd* parent_;
    std::string title_;
    std::string path_;
};

// Answers instead of the user; null restores the real windows.
using MessageBoxHandler = std::function<int(const std::string& text, uint32_t type)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
using BeepHandler = std::function<void(uint32_t type)>;
void SetBeepHandler(BeepHandler handler);
// Returns kIdOk with a path, or kIdCancel.
using FileDialogHandler = std::function<int(const CFileDialog& dialog, std::string& path)>;
void SetFileDialogHandler(FileDialogHandler handler);
class CDialog;
// Told about every dialog once its initialisation has run, before its user can act: how a
// script reaches a dialog that the code under it creates. Null removes it.
using DialogInitHandler = std::function<void(CDialog& dialog)>;
void SetDialogInitHandler(DialogInitHandler handler);
// The backends call this right after a dialog's OnInitDialog.
void DialogInitialised(CDialog& dialog);

}  // namespace vel::fw
