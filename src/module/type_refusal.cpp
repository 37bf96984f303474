#include "module/type_refusal.hpp"

namespace zorv::module {

std::string qualified_type_name(PyTypeObject* type) {
    Ref name(PyType_GetQualName(type));
    if (name) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size)) {
            return std::string(text, static_cast<std::size_t>(size));
        }
    }
    PyErr_Clear();
    return "<failed to extract type name>";
}

void refuse_type(PyObject* object, const std::string& target) {
    if (object == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", target.c_str());
        return;
    }
    const std::string type = qualified_type_name(Py_TYPE(object));
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'", type.c_str(),
                 target.c_str());
}

}  // namespace zorv::module
