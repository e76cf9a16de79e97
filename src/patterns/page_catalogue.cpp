#include "patterns/page_catalogue.h"

namespace veltrane {
namespace {
constexpr auto Off = ChannelInput::Off;
constexpr auto On = ChannelInput::On;
constexpr auto Level = ChannelInput::Level;
}  // namespace

const std::array<PageEntry, PAGE_COUNT> PAGE_CATALOGUE = {{
    {u"Red", PageKind::Solid, On, Off, Off, 0},
    {u"Green", PageKind::Solid, Off, On, Off, 0},
    {u"Blue", PageKind::Solid, Off, Off, On, 0},
    {u"Black", PageKind::Solid, Off, Off, Off, 0},
    {u"White", PageKind::Solid, On, On, On, 0},
    {u"Red (0-255)", PageKind::Grid, Level, Off, Off, 0},
    {u"Green (0-255)", PageKind::Grid, Off, Level, Off, 0},
    {u"Blue (0-255)", PageKind::Grid, Off, Off, Level, 0},
    {u"Gray scale (0-255)", PageKind::Grid, Level, Level, Level, 0},
    {u"Red (0-15)", PageKind::Steps, Level, Off, Off, 0},
    {u"Green (0-15)", PageKind::Steps, Off, Level, Off, 0},
    {u"Blue (0-15)", PageKind::Steps, Off, Off, Level, 0},
    {u"Gray scale (0-15)", PageKind::Steps, Level, Level, Level, 0},
    {u"Red (240-255)", PageKind::Steps, Level, Off, Off, 240},
    {u"Green (240-255)", PageKind::Steps, Off, Level, Off, 240},
    {u"Blue (240-255)", PageKind::Steps, Off, Off, Level, 240},
    {u"Gray scale (240-255)", PageKind::Steps, Level, Level, Level, 240},
    {u"Horizontal Lines", PageKind::HorizontalLines, Off, Off, Off, 0},
    {u"Vertical Lines", PageKind::VerticalLines, Off, Off, Off, 0},
    {u"Net Dots", PageKind::NetDots, Off, Off, Off, 0},
    {u"Gamma Check (Same color = correct gamma)", PageKind::GammaCheck, Off, Off, Off, 0},
}};

double channelIntensity(ChannelInput input, int k) {
    switch (input) {
        case ChannelInput::Off: return 0.0;
        case ChannelInput::On: return 1.0;
        case ChannelInput::Level: return static_cast<double>(k) / 255.0;
    }
    return 0.0;
}

}  // namespace veltrane
