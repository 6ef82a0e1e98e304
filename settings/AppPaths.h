#pragma once
// Where Sentivo keeps its files for the current user, by the XDG rules, and finds the files it ships.

#include <filesystem>
#include <string>

// "$XDG_CONFIG_HOME/Corvane": the settings file Sentivo.conf and the saved login auth.txt.
std::filesystem::path ConfigFolder();
// "$XDG_DATA_HOME/Corvane/Sentivo": the event log and the mail outbox.
std::filesystem::path DataFolder();
// Where pictures go when PICTURES_DIR names no folder: the working folder, or, for a program
// started from the desktop menu (whose working folder is the home folder), the user's Pictures
// folder's "Sentivo" subfolder, made when the first picture is saved.
std::filesystem::path DefaultPicturesFolder(bool startedFromMenu);
// A file Sentivo ships (the face cascade, the test picture, the help page): the one beside the
// running program (a build folder), else <program folder>/../share/sentivo/NAME (an install), else
// NAME itself, taken from the working folder.
std::filesystem::path FindResource(const std::string& name);
