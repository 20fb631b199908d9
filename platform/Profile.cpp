#include "platform/Profile.h"

namespace vel::platform {
namespace {

ProfileLocation& Location() {
    static ProfileLocation location;
    return location;
}

}  // namespace

void SetProfileLocation(std::string_view company, std::string_view application) {
    Location() = ProfileLocation{std::string(company), std::string(application)};
}

const ProfileLocation& CurrentProfileLocation() {
    return Location();
}

}  // namespace vel::platform
