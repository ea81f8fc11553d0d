// The exam window: a blank, untitled rectangle of the button-face colour that
// blocks the other windows until Esc closes it.
#include "screens/Screens.h"

namespace {

constexpr ControlDescription kControls[] = {
    {.kind = ControlKind::Window, .number = ExamWindow::self, .name = "ExamWindow",
     .left = 50, .top = 50, .width = 1000, .height = 400, .text = ""},
};

}  // namespace

constexpr WindowDescription kExamWindowDescription = {
    .number = ExamWindow::number,
    .settings = {.centred = true, .border = false, .minimizeBox = true, .escCloses = true},
    .controls = kControls,
};
static_assert(IsValidDescription(kExamWindowDescription));
