// Everything the update run does to the screen. The update dialog is the one the device
// shows; a bench or a test gives the run one without a window.
#pragma once

class IRunScreen {
public:
    // The bar's range, lower to upper; the bar is shown at position lower.
    virtual void SetupProgress(int nLower, int nUpper) = 0;
    // The bar at the position one more step reached.
    virtual void ShowStep(int nPos) = 0;
    // The bar at the last position the run reached, once its file work is over: the run may
    // stop short of its plan (a card it keeps), and no step knows that it is the last.
    virtual void ShowLastStep(int nPos) = 0;
    // The run's end: the window hidden, then the final WM_DESTROY sent, in which the dialog
    // ends the worker. The run holds nothing (no handle, no lock) when it calls this.
    virtual void EndFromWorker() = 0;

protected:
    ~IRunScreen() = default;
};
