#pragma once

#include "layouts/LayoutBuilder.h"

class Services;

namespace GradLineFactory {

// Makes the sheet's gradient rules from their layout declarations and saved
// property records.
LayoutBuilder::CompositeFactory make(Services &services);

} // namespace GradLineFactory
