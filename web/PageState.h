#pragma once

#include "bus/ConnectionSettings.h"
#include "cards/CardModels.h"

#include <string>

namespace web {

// What the pages show, as the JSON the browser's page takes: every card page's state value,
// the page the test timer works for and whether a test runs.
std::string PagesJson(cards::TCardModels& models);
// The settings as Instellingen > Status... shows them, with the port list (each port's
// readable line) and the clock list, and whether the bus is connected.
std::string SettingsJson(const bus::TConnectionSettings& settings, const bus::TBus& bus);

} // namespace web
