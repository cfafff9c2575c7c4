#pragma once
// Tells a card, or a part of it, as a plan: a pad whose files the record of sources knows names the
// computer files they were converted from, with the settings that differ from the plan's; a pad
// filled in another way names its card files, which applying the plan keeps as they are. Applying
// the plan told here to the same card changes nothing, and telling the card again gives the same text.

#include "store/CardPlan.h"
#include "store/PadFiles.h"
#include "store/Settings.h"
#include "store/SourceRecord.h"

#include <filesystem>
#include <string>
#include <vector>

namespace k72 {

// The plan of the given pads (empty ones are left out), with planSettings as the plan's settings.
[[nodiscard]] CardPlan DescribeCard(const std::vector<PadFiles>& pads, const SourceRecord& record,
                                    const CardFileStamps& cardFiles, const Settings& planSettings);

// The plan as its file holds it. Paths inside planFolder are written relative to it, others whole.
[[nodiscard]] std::string PlanText(const CardPlan& plan, const std::filesystem::path& planFolder);

} // namespace k72
