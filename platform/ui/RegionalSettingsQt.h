#pragma once

#include "platform/RegionalSettings.h"

class QLocale;

namespace platform {

// The regional settings of a Qt locale, in the program's Windows-1251 texts and Windows-style patterns:
// four-digit years, no time-zone or millisecond fields, no day or month names. A currency text 1251 cannot
// hold becomes "грн." for the hryvnia sign and the ISO code otherwise; separators it cannot hold take the
// defaults.
RegionalSettings RegionalSettingsFromLocale(const QLocale& locale);

// Fills the process-wide settings from the user's locale; called once at start-up.
void ApplySystemRegionalSettings();

// A Qt date or time pattern as a Windows-style one, normalised as above (UTF-16 in, 1251 out).
std::string WindowsPatternFromQt(const std::u16string& qtPattern);

} // namespace platform
