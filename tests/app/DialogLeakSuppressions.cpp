// Leak reports that belong to system libraries, not to this code: fontconfig keeps font patterns that Qt's
// font database asks it for until the process ends. Read by LeakSanitizer in sanitizer builds only.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
