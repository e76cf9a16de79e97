#include "app/key_map.h"

#include "patterns/page_catalogue.h"

namespace veltrane {
namespace {

KeyAction adjust(Parameter parameter, double delta, const KeyState& keys) {
    Channel channel = Channel::Red;
    if (keys.shiftDown) {
        channel = Channel::Blue;
    } else if (keys.controlDown) {
        channel = Channel::Green;
    }
    return {KeyAction::Kind::Adjust, channel, parameter, delta};
}

}  // namespace

KeyAction mapKeyDown(std::uint32_t virtualKey, const KeyState& keys) {
    using Kind = KeyAction::Kind;
    switch (virtualKey) {
        case KEY_SHIFT: return {Kind::PressShift};
        case KEY_CONTROL: return {Kind::PressControl};
        case KEY_ALT: return {Kind::None};
        case KEY_ESCAPE: return {Kind::Quit};
        case KEY_PAGE_UP: return adjust(Parameter::Gamma, +ADJUST_STEP, keys);
        case KEY_PAGE_DOWN: return adjust(Parameter::Gamma, -ADJUST_STEP, keys);
        case KEY_HOME: return adjust(Parameter::Contrast, +ADJUST_STEP, keys);
        case KEY_END: return adjust(Parameter::Contrast, -ADJUST_STEP, keys);
        case KEY_INSERT: return adjust(Parameter::Brightness, +ADJUST_STEP, keys);
        case KEY_DELETE: return adjust(Parameter::Brightness, -ADJUST_STEP, keys);
        case KEY_B: return {Kind::PreviousPage};
        case KEY_R: return {Kind::Reset};
        default: return {Kind::NextPage};
    }
}

KeyEffect handleKeyDown(ControlState& state, std::uint32_t virtualKey) {
    const KeyAction action = mapKeyDown(virtualKey, state.keys);
    using Kind = KeyAction::Kind;
    switch (action.kind) {
        case Kind::None: return KeyEffect::Nothing;
        case Kind::PressShift: state.keys.shiftDown = true; return KeyEffect::Nothing;
        case Kind::PressControl: state.keys.controlDown = true; return KeyEffect::Nothing;
        case Kind::Quit: return KeyEffect::Quit;
        case Kind::Adjust:
            calibrationParameter(state.calibration, action.channel, action.parameter) += action.delta;
            return KeyEffect::Redraw;
        case Kind::Reset: resetCalibration(state.calibration); return KeyEffect::Redraw;
        case Kind::PreviousPage:
            state.currentPage = state.currentPage - 1 < 0 ? PAGE_COUNT - 1 : state.currentPage - 1;
            return KeyEffect::RedrawAndUpdate;
        case Kind::NextPage:
            state.currentPage = (state.currentPage + 1) % PAGE_COUNT;
            return KeyEffect::RedrawAndUpdate;
    }
    return KeyEffect::Nothing;
}

void handleKeyUp(ControlState& state, std::uint32_t virtualKey) {
    if (virtualKey == KEY_SHIFT) state.keys.shiftDown = false;
    if (virtualKey == KEY_CONTROL) state.keys.controlDown = false;
}

void handleFocusLost(ControlState& state) { state.keys = KeyState{}; }

}  // namespace veltrane
