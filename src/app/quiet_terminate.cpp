// The installer is a GUI program: it has no stderr for the run-time's verbose
// terminate handler to print to. That handler names the uncaught exception's type
// with the run-time's demangler, about 50 KB of code in a static build that no
// user would ever see the output of. Ending at once is what it does after printing.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
