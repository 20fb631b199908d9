#pragma once
// Converts the preview's display bitmaps from the image's colour space to the display's, when
// the host names both ICC profiles. Only what is drawn is converted, never the image data.

#include <functional>
#include <memory>
#include <string>

namespace vel {
class DisplayBitmap;
}

namespace vel::ui {

class DisplayColourTransform {
  public:
    // Receives each message of the colour library (a profile that cannot be opened or
    // combined); the dialog shows it in a message box and goes on.
    using ErrorSink = std::function<void(const std::string& message)>;

    DisplayColourTransform();
    ~DisplayColourTransform();
    DisplayColourTransform(const DisplayColourTransform&) = delete;
    DisplayColourTransform& operator=(const DisplayColourTransform&) = delete;

    // Closes what is open, opens both profiles and, only when both opened, makes the
    // blue-green-red 8-bit transform between them (relative colorimetric intent). A profile
    // that opened stays open until the next call or Close, with or without a transform.
    void SetProfiles(const char* inputProfilePath, const char* displayProfilePath,
                     const ErrorSink& errors);
    // The transform first, then the two profiles; each only if present.
    void Close();

    bool HasTransform() const;
    bool HasInputProfile() const;
    bool HasDisplayProfile() const;

    // Every row in place; without a transform the bitmap stays as it is.
    void Apply(DisplayBitmap& bitmap) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vel::ui
