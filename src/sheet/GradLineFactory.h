#pragma once

#include "layouts/LayoutBuilder.h"

class RecentDrawings;
class Services;

namespace GradLineFactory {

// Makes the sheet's gradient rules from their layout declarations and saved
// property records; rules made by one factory share `drawings`.
LayoutBuilder::CompositeFactory make(Services &services, RecentDrawings *drawings);

} // namespace GradLineFactory
