// The codes offered for choice, in the order both dialogs show them; an item's
// index in its list is its index here.
#pragma once

#include <cstddef>

constexpr size_t kCampaignCount = 2;
constexpr size_t kMissionCount = 19;

extern const char* const kCampaignCodes[kCampaignCount];
extern const char* const kMissionCodes[kMissionCount];
