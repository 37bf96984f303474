// Turning native results into new Python objects.
#pragma once

#include <array>
#include <cstdint>
#include <tuple>
#include <utility>

#include "common/column_table.hpp"
#include "common/float_array.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

// Each returns a new reference. A null from the interpreter aborts the call
// with "PyObject pointer is null"; py_column_dict may also return null with the
// pending exception of a failed PyDict_SetItem.
PyObject* py_float(double value);
PyObject* py_int(std::uint64_t value);
PyObject* py_float_list(FloatArray&& values);
PyObject* py_column_dict(ColumnTable&& table);
// Steals the members' references, also when it fails.
PyObject* py_tuple(std::initializer_list<PyObject*> members);

inline PyObject* to_python(double value) { return py_float(value); }
inline PyObject* to_python(std::uint64_t value) { return py_int(value); }
inline PyObject* to_python(FloatArray&& values) { return py_float_list(std::move(values)); }
inline PyObject* to_python(ColumnTable&& table) { return py_column_dict(std::move(table)); }

template <class... Members, std::size_t... I>
PyObject* tuple_from(std::tuple<Members...>& members, std::index_sequence<I...>) {
    // Members are built in order; a failure releases those built before it.
    std::array<Ref, sizeof...(Members)> built;
    const bool complete = ((built[I] = Ref(to_python(std::move(std::get<I>(members))))) && ...);
    if (!complete) {
        return nullptr;
    }
    return py_tuple({built[I].release()...});
}

template <class... Members>
PyObject* to_python(std::tuple<Members...>&& members) {
    return tuple_from(members, std::index_sequence_for<Members...>{});
}

}  // namespace zorv::module
