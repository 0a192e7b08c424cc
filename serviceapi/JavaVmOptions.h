// The options the library creates the process's Java VM with. The VM is a
// guest in its host's process, so besides the class path it is told to
// leave the host's signals and current folder alone:
//   -Djava.class.path=<CLASSPATH>  when CLASSPATH is set: an embedded VM
//                                  does not read the variable itself;
//   -Xrs                           no VM handler for SIGTERM, SIGINT and
//                                  SIGHUP (on Windows no console control
//                                  handler): the host's own stay in force;
//   -XX:ErrorFile=<temporary folder>hs_err_pid%p.log
//                                  a fatal error's report goes to the
//                                  temporary folder, not the host's current
//                                  folder (left out, with a trace line,
//                                  when that folder cannot be named).
// Option strings are in the encoding the VM expects of them: the ANSI code
// page on Windows, the bytes of the environment elsewhere.
#ifndef KEVO_JAVAVMOPTIONS_H
#define KEVO_JAVAVMOPTIONS_H

#include <jni.h>

#include <string>
#include <vector>

class JavaVmOptions {
public:
    // Builds the strings; throws std::bad_alloc when memory runs out.
    JavaVmOptions();
    // The table for JavaVMInitArgs; it points into this object, which must
    // outlive JNI_CreateJavaVM. Null when there is no option.
    JavaVMOption* Table() { return table_.empty() ? NULL : &table_[0]; }
    jint Count() const { return static_cast<jint>(table_.size()); }

private:
    JavaVmOptions(const JavaVmOptions&);
    JavaVmOptions& operator=(const JavaVmOptions&);

    std::vector<std::string> strings_;
    std::vector<JavaVMOption> table_;
};

#endif
