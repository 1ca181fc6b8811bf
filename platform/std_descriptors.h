// The standard descriptors of a program that opens devices: a descriptor
// left closed by whoever started it would be taken by the next file opened
// (a stick's node, say), and what is meant for the terminal would then go
// there. And a reader that goes away (a pipe closed early) is a failed write
// to report, not a signal that ends the program without a word.
#pragma once

namespace plat {

// Puts the null device on standard input, output and error where they are
// closed; output and error opened so that every write to them fails, since
// nobody is there to read what is written. Where the C runtime translates
// line ends, it is told not to. Called first thing in main.
void OpenClosedStandardDescriptors();

// Writes to a pipe whose reader has gone fail instead of ending the program.
void IgnoreBrokenPipes();

}  // namespace plat
