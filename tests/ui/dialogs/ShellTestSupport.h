#pragma once
// Helpers for the offscreen GUI tests: the QApplication they share, event-loop waits, and
// driving modal dialogs from timers.

#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

// Runs the event loop (deferred deletes included) for about ms milliseconds.
void ProcessEvents(int ms = 0);
// Runs the event loop until done() holds or timeoutMs passes; answers done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Once a modal widget is up, calls action with it (from the event loop that runs the modal).
// Gives up after timeoutMs; *seen (if given) tells afterwards whether a modal widget came.
void WhenModal(std::function<void(QWidget*)> action, bool* seen = nullptr, int timeoutMs = 5000);
// Top-level widgets that still exist (visible or not).
int TopLevelCount();

// Base fixture: every test must leave no top-level window behind.
class GuiTest : public ::testing::Test {
protected:
    void TearDown() override;
};
