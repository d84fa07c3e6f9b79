#pragma once

#include <QString>

#include <optional>

// The web views (help, maps) run on Qt WebEngine. Its browser engine refuses to start as root
// while its sandbox is on, and then ends the whole program; without its helper program it ends
// the program too. So the program prepares the engine before the application object exists
// (for root it switches the sandbox off, as QTWEBENGINE_DISABLE_SANDBOX would), and every
// window asks unusableReason() before it makes its first web view, so it can fall back to the
// user's browser instead of taking the program down. Main thread.
namespace WebEngineStartup {

// What decides whether the engine can start in this process.
struct Facts
{
    bool root = false;
    // QTWEBENGINE_DISABLE_SANDBOX is set, or QTWEBENGINE_CHROMIUM_FLAGS holds "--no-sandbox".
    bool sandboxDisabled = false;
    // The engine's helper program (QtWebEngineProcess) is where the engine looks for it.
    bool helperFound = true;
};

Facts currentFacts();
// Tests stand in for the process's facts; nullopt goes back to the real ones.
void setFactsForTests(std::optional<Facts> facts);

enum class Decision { Unchanged, SandboxOffForRoot };
Decision decide(const Facts &facts);
// Called first in main(), before the application object: applies decide() to this process and
// says on standard error when it switched the sandbox off.
Decision prepare();

// Why no web view can run in this process, or empty when they can.
QString unusableReason(const Facts &facts);
QString unusableReason();

} // namespace WebEngineStartup
