#include <gtest/gtest.h>

#include <ostream>
#include <cstdint>
#include <vector>

#include "app/key_map.h"
#include "patterns/page_catalogue.h"

namespace veltrane {
namespace {

using Kind = KeyAction::Kind;

constexpr KeyState NONE{false, false};
constexpr KeyState SHIFT{true, false};
constexpr KeyState CTRL{false, true};
constexpr KeyState BOTH{true, true};

struct MapCase {
    const char* what;
    std::uint32_t key;
    KeyState keys;
    KeyAction expected;
};

void PrintTo(const MapCase& c, std::ostream* os) { *os << c.what; }

class MapKeyDownCases : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapKeyDownCases, GivesTheAction) {
    const MapCase& c = GetParam();
    EXPECT_TRUE(mapKeyDown(c.key, c.keys) == c.expected) << c.what;
}

KeyAction adjust(Channel channel, Parameter parameter, double delta) {
    return {Kind::Adjust, channel, parameter, delta};
}

INSTANTIATE_TEST_SUITE_P(
    Table, MapKeyDownCases,
    ::testing::Values(
        MapCase{"Shift", 0x10, NONE, {Kind::PressShift}},
        MapCase{"Ctrl", 0x11, NONE, {Kind::PressControl}},
        MapCase{"Alt", 0x12, NONE, {Kind::None}},
        MapCase{"Alt with Shift", 0x12, SHIFT, {Kind::None}},
        MapCase{"Escape", 0x1B, NONE, {Kind::Quit}},
        MapCase{"Escape with Ctrl", 0x1B, CTRL, {Kind::Quit}},
        MapCase{"Page Up", 0x21, NONE, adjust(Channel::Red, Parameter::Gamma, +0.01)},
        MapCase{"Page Down", 0x22, NONE, adjust(Channel::Red, Parameter::Gamma, -0.01)},
        MapCase{"Home", 0x24, NONE, adjust(Channel::Red, Parameter::Contrast, +0.01)},
        MapCase{"End", 0x23, NONE, adjust(Channel::Red, Parameter::Contrast, -0.01)},
        MapCase{"Insert", 0x2D, NONE, adjust(Channel::Red, Parameter::Brightness, +0.01)},
        MapCase{"Delete", 0x2E, NONE, adjust(Channel::Red, Parameter::Brightness, -0.01)},
        MapCase{"Ctrl+Page Up", 0x21, CTRL, adjust(Channel::Green, Parameter::Gamma, +0.01)},
        MapCase{"Shift+Page Up", 0x21, SHIFT, adjust(Channel::Blue, Parameter::Gamma, +0.01)},
        MapCase{"Shift+Ctrl+Page Up: Shift wins", 0x21, BOTH,
                adjust(Channel::Blue, Parameter::Gamma, +0.01)},
        MapCase{"Shift+Ctrl+Delete: Shift wins", 0x2E, BOTH,
                adjust(Channel::Blue, Parameter::Brightness, -0.01)},
        MapCase{"B", 0x42, NONE, {Kind::PreviousPage}},
        MapCase{"Shift+B: B before modifiers", 0x42, SHIFT, {Kind::PreviousPage}},
        MapCase{"Ctrl+B", 0x42, CTRL, {Kind::PreviousPage}},
        MapCase{"R", 0x52, NONE, {Kind::Reset}},
        MapCase{"Ctrl+R: R before modifiers", 0x52, CTRL, {Kind::Reset}},
        MapCase{"Shift+Ctrl+R", 0x52, BOTH, {Kind::Reset}},
        MapCase{"code 0", 0x00, NONE, {Kind::NextPage}},
        MapCase{"Backspace", 0x08, NONE, {Kind::NextPage}},
        MapCase{"Tab", 0x09, NONE, {Kind::NextPage}},
        MapCase{"Enter", 0x0D, NONE, {Kind::NextPage}},
        MapCase{"Caps Lock", 0x14, NONE, {Kind::NextPage}},
        MapCase{"Space", 0x20, NONE, {Kind::NextPage}},
        MapCase{"Left", 0x25, NONE, {Kind::NextPage}},
        MapCase{"Up", 0x26, NONE, {Kind::NextPage}},
        MapCase{"Right", 0x27, NONE, {Kind::NextPage}},
        MapCase{"Down", 0x28, NONE, {Kind::NextPage}},
        MapCase{"digit 0", 0x30, NONE, {Kind::NextPage}},
        MapCase{"A", 0x41, NONE, {Kind::NextPage}},
        MapCase{"C", 0x43, NONE, {Kind::NextPage}},
        MapCase{"Q", 0x51, NONE, {Kind::NextPage}},
        MapCase{"S", 0x53, NONE, {Kind::NextPage}},
        MapCase{"lower-case b code is not B", 0x62, NONE, {Kind::NextPage}},
        MapCase{"F1", 0x70, NONE, {Kind::NextPage}},
        MapCase{"Shift+F1", 0x70, SHIFT, {Kind::NextPage}},
        MapCase{"left Shift code", 0xA0, NONE, {Kind::NextPage}},
        MapCase{"code 0xFF", 0xFF, NONE, {Kind::NextPage}},
        MapCase{"beyond a byte", 0x121, NONE, {Kind::NextPage}}));

struct AdjustKey {
    std::uint32_t key;
    Parameter parameter;
    double sign;
};

const AdjustKey ADJUST_KEYS[] = {
    {KEY_PAGE_UP, Parameter::Gamma, +1},     {KEY_PAGE_DOWN, Parameter::Gamma, -1},
    {KEY_HOME, Parameter::Contrast, +1},     {KEY_END, Parameter::Contrast, -1},
    {KEY_INSERT, Parameter::Brightness, +1}, {KEY_DELETE, Parameter::Brightness, -1},
};

std::vector<double> allNine(const ColorCalibration& c) {
    return {c.red.brightness,   c.red.contrast,   c.red.gamma,  c.green.brightness, c.green.contrast,
            c.green.gamma,      c.blue.brightness, c.blue.contrast, c.blue.gamma};
}

int indexOf(Channel channel, Parameter parameter) {
    return 3 * static_cast<int>(channel) + static_cast<int>(parameter);
}

TEST(HandleKeyDown, EachAdjustmentChangesExactlyOneParameterByExactlyOneStep) {
    struct Modifiers {
        KeyState keys;
        Channel channel;
    };
    const Modifiers modifiers[] = {{NONE, Channel::Red},
                                   {CTRL, Channel::Green},
                                   {SHIFT, Channel::Blue},
                                   {BOTH, Channel::Blue}};
    for (const AdjustKey& k : ADJUST_KEYS) {
        for (const Modifiers& m : modifiers) {
            ControlState state;
            state.currentPage = 7;
            state.keys = m.keys;
            EXPECT_EQ(handleKeyDown(state, k.key), KeyEffect::Redraw);
            std::vector<double> expected(9, 1.0);
            expected[static_cast<std::size_t>(indexOf(m.channel, k.parameter))] =
                k.sign > 0 ? 1.0 + 0.01 : 1.0 - 0.01;
            EXPECT_EQ(allNine(state.calibration), expected)
                << "key " << k.key << " shift " << m.keys.shiftDown << " ctrl " << m.keys.controlDown;
            EXPECT_EQ(state.currentPage, 7);
            EXPECT_TRUE(state.keys.shiftDown == m.keys.shiftDown &&
                        state.keys.controlDown == m.keys.controlDown);
        }
    }
}

TEST(HandleKeyDown, RepeatedStepsAccumulateWithoutBound) {
    ControlState state;
    for (int i = 0; i < 10; ++i) handleKeyDown(state, KEY_DELETE);
    EXPECT_EQ(state.calibration.red.brightness, 0.8999999999999999);
    for (int i = 0; i < 90; ++i) handleKeyDown(state, KEY_DELETE);
    // A hair below zero, not zero: 0.01 is not exact in double precision.
    EXPECT_LT(state.calibration.red.brightness, 0.0);
    EXPECT_GT(state.calibration.red.brightness, -1e-12);
    for (int i = 0; i < 500; ++i) handleKeyDown(state, KEY_DELETE);
    EXPECT_NEAR(state.calibration.red.brightness, -5.0, 1e-9);

    ControlState up;
    for (int i = 0; i < 3; ++i) handleKeyDown(up, KEY_PAGE_UP);
    EXPECT_EQ(up.calibration.red.gamma, 1.0 + 0.01 + 0.01 + 0.01);
}

TEST(HandleKeyDown, PagesRunInARingBothWays) {
    ControlState state;
    state.currentPage = PAGE_COUNT - 1;
    EXPECT_EQ(handleKeyDown(state, 0x20), KeyEffect::RedrawAndUpdate);
    EXPECT_EQ(state.currentPage, 0);
    EXPECT_EQ(handleKeyDown(state, KEY_B), KeyEffect::RedrawAndUpdate);
    EXPECT_EQ(state.currentPage, PAGE_COUNT - 1);

    for (int step = 1; step <= PAGE_COUNT; ++step) {
        handleKeyDown(state, 0x0D);
        EXPECT_EQ(state.currentPage, (PAGE_COUNT - 1 + step) % PAGE_COUNT);
    }
    for (int step = 1; step <= PAGE_COUNT; ++step) {
        handleKeyDown(state, KEY_B);
        EXPECT_EQ(state.currentPage, ((PAGE_COUNT - 1 - step) % PAGE_COUNT + PAGE_COUNT) % PAGE_COUNT);
    }
    EXPECT_EQ(allNine(state.calibration), std::vector<double>(9, 1.0));
}

TEST(HandleKeyDown, ShiftBGoesBackAndCtrlRResets) {
    ControlState state;
    state.currentPage = 5;
    state.calibration.green.contrast = 3.0;
    handleKeyDown(state, KEY_SHIFT);
    EXPECT_EQ(handleKeyDown(state, KEY_B), KeyEffect::RedrawAndUpdate);
    EXPECT_EQ(state.currentPage, 4);
    EXPECT_EQ(state.calibration.green.contrast, 3.0);

    handleKeyUp(state, KEY_SHIFT);
    handleKeyDown(state, KEY_CONTROL);
    state.calibration.blue.gamma = -2.0;
    EXPECT_EQ(handleKeyDown(state, KEY_R), KeyEffect::Redraw);
    EXPECT_EQ(allNine(state.calibration), std::vector<double>(9, 1.0));
    EXPECT_EQ(state.currentPage, 4);
    EXPECT_TRUE(state.keys.controlDown);
}

TEST(HandleKeyDown, ModifiersAltAndEscapeChangeNoPageOrParameter) {
    struct Case {
        std::uint32_t key;
        KeyEffect effect;
        KeyState after;
    };
    const Case cases[] = {
        {KEY_SHIFT, KeyEffect::Nothing, SHIFT},
        {KEY_CONTROL, KeyEffect::Nothing, CTRL},
        {KEY_ALT, KeyEffect::Nothing, NONE},
        {KEY_ESCAPE, KeyEffect::Quit, NONE},
    };
    for (const Case& c : cases) {
        ControlState state;
        state.currentPage = 9;
        state.calibration.red.gamma = 2.2;
        EXPECT_EQ(handleKeyDown(state, c.key), c.effect) << "key " << c.key;
        EXPECT_EQ(state.currentPage, 9);
        EXPECT_EQ(state.calibration.red.gamma, 2.2);
        EXPECT_EQ(state.keys.shiftDown, c.after.shiftDown) << "key " << c.key;
        EXPECT_EQ(state.keys.controlDown, c.after.controlDown) << "key " << c.key;
    }
}

TEST(HandleKeyUp, ReleasesClearOnlyTheirOwnFlag) {
    ControlState state;
    state.keys = BOTH;
    handleKeyUp(state, KEY_ALT);
    handleKeyUp(state, 0x20);
    EXPECT_TRUE(state.keys.shiftDown && state.keys.controlDown);
    handleKeyUp(state, KEY_SHIFT);
    EXPECT_FALSE(state.keys.shiftDown);
    EXPECT_TRUE(state.keys.controlDown);
    // With Shift released, Ctrl selects green again.
    handleKeyDown(state, KEY_HOME);
    EXPECT_EQ(state.calibration.green.contrast, 1.0 + 0.01);
    handleKeyUp(state, KEY_CONTROL);
    EXPECT_FALSE(state.keys.controlDown);
    handleKeyDown(state, KEY_HOME);
    EXPECT_EQ(state.calibration.red.contrast, 1.0 + 0.01);
}

TEST(HandleFocusLost, ForgetsModifiersButNothingElse) {
    ControlState state;
    state.currentPage = 12;
    state.calibration.blue.brightness = 0.5;
    handleKeyDown(state, KEY_SHIFT);
    handleKeyDown(state, KEY_CONTROL);
    handleFocusLost(state);
    EXPECT_FALSE(state.keys.shiftDown);
    EXPECT_FALSE(state.keys.controlDown);
    EXPECT_EQ(state.currentPage, 12);
    EXPECT_EQ(state.calibration.blue.brightness, 0.5);
    // Back in focus, a plain Page Up adjusts red.
    handleKeyDown(state, KEY_PAGE_UP);
    EXPECT_EQ(state.calibration.red.gamma, 1.0 + 0.01);
    EXPECT_EQ(state.calibration.blue.gamma, 1.0);
}

TEST(CalibrationParameter, NamesEachOfTheNineFields) {
    ColorCalibration c;
    const Channel channels[] = {Channel::Red, Channel::Green, Channel::Blue};
    const Parameter parameters[] = {Parameter::Brightness, Parameter::Contrast, Parameter::Gamma};
    double value = 10.0;
    for (const Channel ch : channels) {
        for (const Parameter p : parameters) calibrationParameter(c, ch, p) = value++;
    }
    EXPECT_EQ(allNine(c), (std::vector<double>{10, 11, 12, 13, 14, 15, 16, 17, 18}));
}

}  // namespace
}  // namespace veltrane
