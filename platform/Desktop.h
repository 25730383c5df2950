#pragma once
#include <string>
#include <vector>

// The few things the program asks of the system and the desktop: starting a
// program, opening a file or folder in the user's own application, and the
// documents and temporary folders, and the trash. Every other place goes through these.
namespace zel {

// The full path of `name` found on PATH (the first entry that exists as a regular
// file), or "" when there is none. `executable` tells whether that file may be run.
std::string FindProgramOnPath(const std::string& name, bool* executable);

// Runs `argv` and waits for it, never through a shell. argv[0] is a full path or a
// name looked up on PATH. Standard output is collected into `output` when it is
// not null; with `quiet` what the program prints (and, without `output`, its
// standard output) goes to /dev/null. Returns the exit status, 128 + signal number
// when the program was killed, or -1 when it could not be started.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr, bool quiet = false);

// Opens a file or folder with the desktop's application for it (xdg-open), quietly.
// False when xdg-open is missing or reports a failure.
bool OpenWithDesktop(const std::string& path);

// The user's documents folder without a final "/": `xdg-user-dir DOCUMENTS`, else
// $HOME/Documents. An answer of the home folder itself means none is set (that is
// what xdg-user-dir says then). Not created here; "" without a home folder.
std::string DocumentsFolder();

// The system's temporary folder ($TMPDIR, else /tmp), ending in "/".
std::string TempFolder();

// Moves the file at `path` into the user's trash following the freedesktop.org trash
// rules, where the desktop's file manager can restore it: the home
// trash ($XDG_DATA_HOME/Trash, created when missing) for a file on the data folder's
// file system, else the trash at the top of the file's own file system. The file is
// only ever renamed, never copied: false (errno set) when that cannot be done, with
// the file left where it was.
bool MoveToTrash(const std::string& path);

}  // namespace zel
