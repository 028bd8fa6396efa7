// The signals that end a run, and the keyboard wait they can cut short.
#ifndef VORNDIAG_STOP_SIGNALS_H
#define VORNDIAG_STOP_SIGNALS_H

namespace vorndiag {

// Every signal whose default ends or stops the process and that can be
// caught sets the stop flag `done`; the handlers restart interrupted system
// calls, and a write blocked on a slow reader gives way (the rest is held
// and written after the shut-down), so that no output is lost. Every one
// of them also cuts a keyboard wait short: the line pending is neither read
// nor applied. The stopping signals are caught only while the drivers are
// up: a suspended tool cannot command its motors.
void install_stop_handlers();
// After the shut-down: Ctrl-Z and the terminal's job control stop again.
void release_terminal_stop();

// Waits until `fd` has input. False once a cutting signal has
// come, during the wait or before it. A negative fd (a stream without a
// descriptor) never waits.
bool wait_for_input(int fd);
// A cutting signal has come: the keyboard is done with.
bool input_cut_short();
// A cut the run does not take (a replay follows its recording): waits again.
void resume_input();

// SIGPIPE came: the reader of standard output has gone.
bool output_reader_gone();

// Asked by the looping tests before every pass: whether the run stops here.
// The first true is noted in the port trace ("stop SIGINT"), and a replay
// stops where its recording did, whatever the signals; true from then on.
bool stop_requested();
// Asked by the keyboard read before and after its wait: whether the wait
// is cut short here, noted and replayed the same way ("keyboard cut SIGTERM").
bool keyboard_cut_here(bool cut);

} // namespace vorndiag

#endif
