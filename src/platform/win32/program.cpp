// The one instance of the program's process-wide state.
#include "platform/win32/program.h"

namespace veltrane::win32 {

Program& program() {
    static Program state;
    return state;
}

}  // namespace veltrane::win32
