// The module as the import system sees it: one initialiser, one definition,
// and the execution step that adds the functions.
#include <string>

#include "module/call_boundary.hpp"
#include "module/function_table.hpp"
#include "module/process_caches.hpp"
#include "module/type_refusal.hpp"

namespace zorv::module {
namespace {

// The module's __all__ list (borrowed from the module), created when absent.
PyObject* all_list(PyObject* module) {
    PyObject* all_name = interned_all();
    if (all_name == nullptr) {
        return nullptr;
    }
    PyObject* all = nullptr;
    if (get_optional_attr(module, all_name, &all) < 0) {
        return nullptr;
    }
    Ref owned(all);
    if (!owned) {
        owned.reset(PyList_New(0));
        if (!owned || PyObject_SetAttr(module, all_name, owned.get()) < 0) {
            return nullptr;
        }
    }
    if (!PyList_Check(owned.get())) {
        refuse_type(owned.get(), "list");
        return nullptr;
    }
    return owned.get();  // the module keeps it alive
}

bool add_function(PyObject* module, PyObject* module_name, PyMethodDef* definition) {
    Ref function(PyCMethod_New(definition, module, module_name, nullptr));
    PyObject* name_attribute = interned_name();
    if (!function || name_attribute == nullptr) {
        return false;
    }
    Ref name(PyObject_GetAttr(function.get(), name_attribute));
    if (!name) {
        return false;
    }
    if (!PyUnicode_Check(name.get())) {
        refuse_type(name.get(), "str");
        return false;
    }
    PyObject* all = all_list(module);
    if (all == nullptr) {
        return false;
    }
    if (PyList_Append(all, name.get()) < 0) {
        PyErr_Clear();
        throw CallAbort("could not append __name__ to __all__");
    }
    return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

int execute_module(PyObject* module) {
    PyObject* outcome = guarded_call([&]() -> PyObject* {
        if (!PyModule_Check(module)) {
            refuse_type(module, "module");
            return nullptr;
        }
        Ref module_name(PyModule_GetNameObject(module));
        if (!module_name) {
            return nullptr;
        }
        for (PyMethodDef& definition : method_table) {
            if (definition.ml_meth != nullptr &&
                !add_function(module, module_name.get(), &definition)) {
                return nullptr;
            }
        }
        return Py_None;
    });
    return outcome == nullptr ? -1 : 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&execute_module)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "_zorv_pp",    // m_name
    "",            // m_doc: __doc__ is the empty string
    0,             // m_size: no module state
    nullptr,       // m_methods: added by the execution slot
    module_slots,  // m_slots
    nullptr,       // m_traverse
    nullptr,       // m_clear
    nullptr,       // m_free
};

}  // namespace
}  // namespace zorv::module

PyMODINIT_FUNC PyInit__zorv_pp(void) {
    return PyModuleDef_Init(&zorv::module::module_definition);
}
