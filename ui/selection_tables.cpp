// The campaign and mission codes: fifteen numbered missions, then the lettered
// variants of missions 12 to 15.
#include "ui/selection_tables.h"

const char* const kCampaignCodes[kCampaignCount] = {"Am", "Ru"};

const char* const kMissionCodes[kMissionCount] = {
    "01", "02", "03", "04", "05", "06",  "07",  "08",  "09",  "10",
    "11", "12", "13", "14", "15", "12a", "13a", "14a", "15a",
};
