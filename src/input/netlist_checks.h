// Warnings for netlists that velkor reads differently from what their
// writer most likely meant: each says what velkor understood and what to
// write instead. They go to standard error only; standard output is not
// touched.
#pragma once

namespace velkor {

struct ReaderContext;
struct SourcePosition;

// What a number of an entry stands for, for the warning about a number
// that is not written as digits alone.
enum class NumberRole { kNodeLabel, kNormalization, kTraceBits };

// The number just read (the token reader's last token) when it was not
// written as digits alone.
void checkNumber(ReaderContext& ctx, NumberRole role, int value);

// An entry word whose first letter chooses another kind of entry than a
// circuit simulator's netlist would (e1, hx, f1, t1, ...), or that
// looks like an element value right after the nodes of the element
// `previousElement` (nullptr when the entry before was no element).
void checkEntryWord(ReaderContext& ctx, const char* word, const char* previousElement);

// A two-port entry named like a one-port (rmain, gmin, gyro) whose third
// and fourth nodes came from a later line than its name (`at`): most
// likely a resistor or conductance.
void checkTwoPortLines(ReaderContext& ctx, const char* word, const SourcePosition& at,
                       const SourcePosition (&labelAt)[4]);

// A user's element name just stored in `slot`: two names that become one
// symbol when cut to a slot's length, or that differ only in letter case.
void checkElementName(ReaderContext& ctx, int slot);

// After the end entry: port nodes that no element touches, and parts of
// the network connected to neither port.
void checkConnections(ReaderContext& ctx);

// The end of input inside a netlist: the netlist is dropped, reported as an
// error. `entry` is the entry being read (nullptr between entries), which
// needed `needed` numbers or words of which `read` were there.
void reportCutShort(ReaderContext& ctx, const char* entry, const SourcePosition& entryAt, int read, int needed);

}  // namespace velkor
