#include "screens/Screens.h"

namespace {

constexpr const WindowDescription* kProgramWindows[] = {
    &kLoginWindowDescription,
    &kConfirmWindowDescription,
    &kExamWindowDescription,
};

}  // namespace

std::span<const WindowDescription* const> ProgramWindowTable() { return kProgramWindows; }
