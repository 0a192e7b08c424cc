// Finding and loading the Java VM library (jvm.dll) of the Java runtime that
// the service API library runs on. The library imports "jvm.dll" by name; a
// program that loads the runtime's file by full path first makes that import
// bind to it, whatever PATH holds and whichever folder the program was
// started from.
//
// Where it looks, in this order (the installer looks the same way):
//  1. HKLM Software\KEVO "JvmPath": a runtime the administrator named to the
//     installer with /JVM= (one no Java installer registered);
//  2. HKLM SOFTWARE\JavaSoft, in the program's own registry view (the 32-bit
//     view for the 32-bit tools on 64-bit Windows), under "Java Runtime
//     Environment", "JRE", "Java Development Kit" and "JDK": in each the
//     CurrentVersion first, then every other registered version; per version
//     its RuntimeLib, else the client or server VM under JavaHome.
// Only a PE image for the tools' own machine counts: a 32-bit program cannot
// load a 64-bit jvm.dll.
#ifndef KEVO_JAVARUNTIME_H
#define KEVO_JAVARUNTIME_H

#include <windows.h>

#include <string>
#include <vector>

#include "PeMachine.h"

namespace kevojava {

// IMAGE_FILE_MACHINE_* of the programs of this build.
WORD ToolsMachine();

// IMAGE_FILE_MACHINE_* of the PE image in the file; 0 when it is none
// (empty, cut short, another kind of file) or cannot be read.
WORD MachineOfFile(const std::wstring& path);

// One place the search looked at.
struct JvmCandidate {
    std::string origin;  // the registry value it came from, e.g. "SOFTWARE\JavaSoft\JRE\1.8 RuntimeLib"
    std::wstring path;   // the jvm.dll looked at
    std::string version; // the runtime's version key ("1.8", "17"), empty for JvmPath
    WORD machine;        // its PE machine; 0 when missing or not a PE image
};

struct JvmSearch {
    std::wstring path;        // the jvm.dll found; empty when none
    std::string version;      // its runtime's version key
    std::vector<JvmCandidate> tried;  // every file looked at, in order
    // True when JavaSoft holds no runtime product at all (as opposed to
    // runtimes of another machine or with missing files).
    bool noRuntimeRegistered;
};

// Runs the search. Never throws.
JvmSearch FindToolsJvm();

// A short ASCII account of a failed search for the trace log, naming the
// keys looked at and what was wrong with the files found there.
std::string DescribeFailedSearch(const JvmSearch& search);

// Finds the runtime and loads its jvm.dll by full path, once per process;
// later calls return the same module. The runtime's bin folder (where its
// own C runtime lives) is made the program's DLL folder for the loads that
// follow. Returns NULL when no runtime is found (*error ERROR_FILE_NOT_FOUND)
// or the load fails (*error its Win32 error); writes the trace lines.
HMODULE LoadToolsJvm(DWORD* error);

}  // namespace kevojava

#endif
