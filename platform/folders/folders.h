// Special folders and the places where Scrollsnap keeps its files.
#pragma once

#include <string>

namespace ss {

// The user's documents folder (XDG_DOCUMENTS_DIR from user-dirs.dirs, else
// $HOME/Documents). No trailing slash.
std::string GetPersonalFolder();

// The folder that holds everything kept between runs: $SCROLLSNAP_HOME when
// set, else $XDG_DATA_HOME/scrollsnap (~/.local/share/scrollsnap). Created on
// demand.
std::string ScrollsnapHome();

// The full path of the shared object (or executable) that contains `address`.
std::string ModuleFileNameOf(const void* address);

// Creates the folder and its parents; true when it exists afterwards.
bool EnsureFolder(const std::string& path);

}  // namespace ss
