// Fault injection for the file layer: makes the nth call of one kind of file
// operation fail with a chosen error, without touching the file. For tests.
#pragma once

// inspect: a look at what is at a path, without opening it.
enum class file_op {
  open_read,
  open_write,
  read,
  write,
  sync,
  close,
  replace,
  remove,
  inspect,
  count
};

// The nth call (1 = the next one) of op from now on fails with error.
void file_fault_arm(file_op op, int nth, int error);
// For the file layers: counts a call of op and says which error to pretend,
// or 0 to go ahead.
int file_fault_injected(file_op op);
// Disarms every fault and forgets the call counts.
void file_fault_reset();
// How many calls of op have been made since the last reset.
int file_fault_calls(file_op op);
