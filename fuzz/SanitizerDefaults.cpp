// Defaults for the sanitizer runtimes of the fuzz configuration (tests and fuzz targets): stop
// at the first report with a stack, and leave the leaks of libraries that keep their caches for
// the life of the process alone.
extern "C" {

const char *__asan_default_options()
{
    return "detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:"
           "strict_string_checks=1:check_initialization_order=1"
#ifdef BRINDLEWICK_FULL_MALLOC_STACKS
           ":fast_unwind_on_malloc=0"
#endif
        ;
}

const char *__ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\n"
           "leak:libglib-2.0\n"
           "leak:libgphoto2\n"
           "leak:libltdl\n"
           "leak:libexiv2\n"
           "leak:QtGui\n"
           "leak:libQt6Gui\n"
           "leak:libQt6Core\n"
           "leak:libdbus\n";
}
}
