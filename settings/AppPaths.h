#pragma once
// Where Sentivo keeps its files for the current user, by the XDG rules.

#include <filesystem>

// "$XDG_CONFIG_HOME/Corvane": the settings file Sentivo.conf and the saved login auth.txt.
std::filesystem::path ConfigFolder();
// "$XDG_DATA_HOME/Corvane/Sentivo": the event log and the mail outbox.
std::filesystem::path DataFolder();
