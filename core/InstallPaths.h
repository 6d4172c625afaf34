#pragma once
// Where the program finds its companion files. In the build tree the user
// guide and the settings file sit beside the program; an installed program
// (<prefix>/bin/vantorel) also looks in its prefix's documentation folder
// (share/doc/vantorel/) and configuration folder (/etc/vantorel/ for the
// prefix /usr). A file beside the program always wins. Qt-free.
#include <string>

namespace vt {

// The install prefix, ending with '/', when appFolder (ending with '/') is the
// prefix's program folder ("/usr/" for "/usr/bin/"); empty otherwise, as in
// the build tree.
std::string InstallPrefixOf(const std::string& appFolder);

// The configuration folder of a prefix, ending with '/', chosen as the
// install rules choose it: "/etc/" for "/" and "/usr/", "/etc/opt/x/" for
// "/opt/x/", otherwise the prefix's "etc/".
std::string SysconfDirOf(const std::string& prefix);

// The user guide `name`: beside the program when it is there; otherwise, for
// an installed program, the copy in the documentation folder when it exists;
// otherwise the path beside the program.
std::string FindHelpFile(const std::string& appFolder, const std::string& name);

// "Setting.ini" beside the program when it is there; otherwise, for an
// installed program, <sysconfdir>/vantorel/Setting.ini when it exists;
// otherwise the path beside the program (which then gives the defaults).
std::string FindSettingsFile(const std::string& appFolder);

}  // namespace vt
