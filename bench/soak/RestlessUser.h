#pragma once

// The soak's restless user: one random action at a random moment, again and
// again, through the widgets and the keys on the GUI thread, as a person
// would: the mode buttons, seeks, bursts of weight changes, the tree's
// sliders, the check boxes, speed changes, picture steps in a pause, mute
// and volume, another video opened, and a save cancelled midway.

#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <vector>

struct ControlState;
class QDialog;
class QString;
class QWidget;

class RestlessUser {
public:
    using Clock = std::chrono::steady_clock;

    struct Counts {
        int actions = 0;
        int speedChanges = 0;
        int pictureSteps = 0;
        int soundChanges = 0; // mute and volume
        int opens = 0;
        int savesCancelled = 0;
        int savesLeftBehind = 0; // a file left by a cancelled save
        // The last action that restarts the sound (a seek, a mode, a speed,
        // a step, another video, a change that the summary follows).
        Clock::time_point lastRestart{};
    };

    // videos: the soak's video first; opens go to each of them in turn.
    RestlessUser(QWidget* window, ControlState& state, unsigned seed,
                 std::vector<std::string> videos);

    void scheduleNext();
    const Counts& counts() const { return done; }
    // From Save to the dialog's end: a save runs, or is being cancelled.
    bool saving() const { return saveUnderWay; }
    // What the user did last, for the report of a hang.
    static const char* lastAction();

private:
    void act();
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    void click(const char* name);
    void key(int key, int modifiers = 0);
    void weightBurst(int left);
    void steps(int left, int key);
    void saveAndCancel();
    void checkSaveEnded(QDialog* dialog, const QString& target, bool cancelled, int triesLeft);
    void restarted() { done.lastRestart = Clock::now(); }

    QWidget* window;
    ControlState& state;
    std::mt19937 random;
    std::vector<std::string> videos;
    size_t playing = 0;
    Counts done;
    QTemporaryDir saves;
    bool saveUnderWay = false;
};
