#pragma once
// The "History" window: the journal's runs and events by day (newest day first and open), each
// alarm with its story sheet as a thumbnail (the picture when there is no sheet) and its delivery
// state per channel. A picture, story sheet or clip opens in the desktop's viewer; an event can be
// deleted with its files, after a question. It reads the journal through a connection of its own
// on the GUI thread (JournalReader.h), so it shows what a running surveillance has written so far
// (Refresh reads again) and never waits for the writer's thread.

#include <filesystem>

class QWidget;

// Shows the History window of journalFile, a window of its own owned by parent (may be null),
// or brings the one already open to the front, read again. Returns it.
QWidget* ShowHistoryWindow(QWidget* parent, const std::filesystem::path& journalFile);
