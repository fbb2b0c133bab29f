// Core work without the global interpreter lock, so that other threads run Python meanwhile.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace tessmar::lib {

/** Runs `work` with the GIL released and returns its result; the GIL is held again before
 *  anything leaves, a C++ exception included. `work` must touch no Python object, not even
 *  a reference count: each caller says why what it reads stays valid meanwhile. */
template <class Work>
auto without_gil(Work&& work) {
    class Released {
    public:
        Released() : state_(PyEval_SaveThread()) {}
        Released(const Released&) = delete;
        Released& operator=(const Released&) = delete;
        ~Released() { PyEval_RestoreThread(state_); }

    private:
        PyThreadState* state_;
    } released;
    return std::forward<Work>(work)();
}

}  // namespace tessmar::lib
