#include "module/bind_arguments.hpp"

#include <cstring>
#include <string>
#include <string_view>

namespace zorv::module {
namespace {

// Index of the parameter a keyword names, or -1 (also for a name with no UTF-8 form).
Py_ssize_t parameter_index(const FunctionSignature& signature, PyObject* keyword) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(keyword, &size);
    if (text == nullptr) {
        PyErr_Clear();
        return -1;
    }
    const std::string_view name(text, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        if (name == signature.params[i]) {
            return static_cast<Py_ssize_t>(i);
        }
    }
    return -1;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_name_list(const FunctionSignature& signature, PyObject** slots,
                             std::size_t missing) {
    std::string names;
    std::size_t listed = 0;
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        if (slots[i] != nullptr) {
            continue;
        }
        if (listed > 0) {
            names += missing == 2 ? " and " : (listed + 1 == missing ? ", and " : ", ");
        }
        names += '\'';
        names += signature.params[i];
        names += '\'';
        ++listed;
    }
    return names;
}

bool report_missing(const FunctionSignature& signature, PyObject** slots) {
    std::size_t missing = 0;
    for (std::size_t i = 0; i < signature.params.size(); ++i) {
        missing += slots[i] == nullptr ? 1 : 0;
    }
    if (missing == 0) {
        return true;
    }
    const std::string names = quoted_name_list(signature, slots, missing);
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s",
                 signature.name, missing, missing == 1 ? "" : "s", names.c_str());
    return false;
}

}  // namespace

bool bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots) {
    const auto count = static_cast<Py_ssize_t>(signature.params.size());
    if (nargs > count) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd were given",
                     signature.name, count, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        slots[i] = i < nargs ? args[i] : nullptr;
    }
    const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
        const Py_ssize_t index = parameter_index(signature, keyword);
        if (index < 0) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'",
                         signature.name, keyword);
            return false;
        }
        if (slots[index] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%S'",
                         signature.name, keyword);
            return false;
        }
        slots[index] = args[nargs + k];
    }
    return report_missing(signature, slots);
}

}  // namespace zorv::module
