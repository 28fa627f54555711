// Leak reports that belong to system libraries, not to this code: fontconfig keeps font patterns that Qt's
// font database asks it for until the process ends, and libdbus a message buffer of the session-bus
// connection that Qt's xcb platform opens. Read by LeakSanitizer in sanitizer builds only.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
