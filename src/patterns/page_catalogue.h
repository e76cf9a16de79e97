// The 21 test pages: what each one is called and how it is drawn.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace veltrane {

inline constexpr int PAGE_COUNT = 21;

enum class PageKind { Solid, Grid, Steps, HorizontalLines, VerticalLines, NetDots, GammaCheck };

// What one channel of a solid, grid or steps page receives.
enum class ChannelInput { Off, On, Level };  // 0.0, 1.0, or the block's k / 255.0

struct PageEntry {
    std::u16string_view title;
    PageKind kind;
    ChannelInput red;
    ChannelInput green;
    ChannelInput blue;
    int stepsBase;  // first level of a steps page: 0 or 240
};

extern const std::array<PageEntry, PAGE_COUNT> PAGE_CATALOGUE;

// The input intensity a channel gets in the block that carries level k.
double channelIntensity(ChannelInput input, int k);

}  // namespace veltrane
