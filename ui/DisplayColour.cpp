#include "ui/DisplayColour.h"

#include <lcms2.h>

#include "plugin/PlaneImage.h"

namespace vel::ui {

// A context of our own carries the error handler: a plug-in must not replace the process-wide
// handler of a colour library that its host may use as well.
struct DisplayColourTransform::Impl {
    cmsContext context = nullptr;
    cmsHPROFILE input = nullptr;
    cmsHPROFILE display = nullptr;
    cmsHTRANSFORM transform = nullptr;
    const ErrorSink* errors = nullptr;

    Impl() { context = cmsCreateContext(nullptr, this); }
    ~Impl() {
        Close();
        if (context) {
            cmsDeleteContext(context);
        }
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void Close() {
        if (transform) {
            cmsDeleteTransform(transform);
            transform = nullptr;
        }
        if (input) {
            cmsCloseProfile(input);
            input = nullptr;
        }
        if (display) {
            cmsCloseProfile(display);
            display = nullptr;
        }
    }

    static void OnError(cmsContext context, cmsUInt32Number /*code*/, const char* text) {
        auto* self = static_cast<Impl*>(cmsGetContextUserData(context));
        if (self && self->errors && *self->errors) {
            (*self->errors)(text ? text : "");
        }
    }
};

DisplayColourTransform::DisplayColourTransform() : impl_(std::make_unique<Impl>()) {}

DisplayColourTransform::~DisplayColourTransform() = default;

void DisplayColourTransform::SetProfiles(const char* inputProfilePath,
                                         const char* displayProfilePath, const ErrorSink& errors) {
    Impl& d = *impl_;
    if (!d.context) {
        return;
    }
    cmsSetLogErrorHandlerTHR(d.context, &Impl::OnError);
    d.errors = &errors;
    d.Close();
    d.input = cmsOpenProfileFromFileTHR(d.context, inputProfilePath ? inputProfilePath : "", "r");
    d.display =
        cmsOpenProfileFromFileTHR(d.context, displayProfilePath ? displayProfilePath : "", "r");
    if (d.input && d.display) {
        // A grey or CMYK profile cannot take blue-green-red pixels: the library refuses the
        // transform with a message, and the preview stays unconverted.
        d.transform = cmsCreateTransformTHR(d.context, d.input, TYPE_BGR_8, d.display, TYPE_BGR_8,
                                            INTENT_RELATIVE_COLORIMETRIC, 0);
    }
    d.errors = nullptr;
}

void DisplayColourTransform::Close() {
    impl_->Close();
}

bool DisplayColourTransform::HasTransform() const {
    return impl_->transform != nullptr;
}

bool DisplayColourTransform::HasInputProfile() const {
    return impl_->input != nullptr;
}

bool DisplayColourTransform::HasDisplayProfile() const {
    return impl_->display != nullptr;
}

void DisplayColourTransform::Apply(DisplayBitmap& bitmap) const {
    if (!impl_->transform || bitmap.Empty()) {
        return;
    }
    const auto width = static_cast<cmsUInt32Number>(bitmap.Width());
    uint8_t* const* rows = bitmap.Rows();
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
        cmsDoTransform(impl_->transform, rows[y], rows[y], width);
    }
}

}  // namespace vel::ui
