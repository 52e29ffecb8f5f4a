// The compiled part of the Python module: one whole run of velkor on a
// string, with the interpreter's lock released while it works. Everything
// else (result objects, SymPy, NumPy) is Python, in velkor/__init__.py.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <signal.h>

#include <csignal>
#include <string>
#include <vector>

#include "driver/in_process_run.h"

namespace py = pybind11;

namespace {

// SIGINT during a run lands here instead of in the interpreter's handler,
// which cannot run while the lock is released. The run looks at the flag,
// stops, and the call raises KeyboardInterrupt. (A signal handler can reach
// nothing but such a flag.)
velkor::StopFlag interruptFlag{0};

extern "C" void onInterrupt(int) { interruptFlag = 1; }

bool onMainThread() {
  py::module_ threading = py::module_::import("threading");
  return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

py::tuple run(const std::string& text, const std::string& sourceName, const std::vector<std::string>& arguments) {
  // Signals reach Python only on its main thread; elsewhere the run is not
  // interruptible, as any other call into C would not be.
  const bool catchInterrupt = onMainThread();
  struct sigaction previous {};
  if (catchInterrupt) {
    interruptFlag = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous);
  }
  velkor::InProcessResult result;
  {
    py::gil_scoped_release unlocked;
    result = velkor::runInProcess(text, sourceName, arguments, catchInterrupt ? &interruptFlag : nullptr);
  }
  if (catchInterrupt) {
    sigaction(SIGINT, &previous, nullptr);
    if (interruptFlag != 0) {
      interruptFlag = 0;
      PyErr_SetNone(PyExc_KeyboardInterrupt);
      throw py::error_already_set();
    }
  }
  return py::make_tuple(result.status, py::bytes(result.output), py::bytes(result.errors));
}

}  // namespace

PYBIND11_MODULE(_velkor, module) {
  module.doc() = "velkor's analysis, run in-process (used by the velkor package)";
  module.def("run", &run, py::arg("text"), py::arg("source_name"), py::arg("arguments"),
             "Runs velkor on a netlist text with command-line options; returns (status, output, errors).");
}
