// The timer-driven state machine that sends a request, waits and evaluates
// the answer. Runs on the window thread.
#pragma once

// WM_TIMER: one tick of the sequencer; ticks of other timers are ignored.
void SequencerTick(int timer_id);

// BTN_SEND: starts a run when the port is closed and opens; with the port
// open it leaves the running sequence to go on with the new cur_cmd.
void StartOperation(int notify_code);
