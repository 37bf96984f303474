// read_series: the series readers of the core, for the ordern package.
#include <cstring>
#include <string_view>
#include <utility>

#include "analysis_module/analysis_functions.hpp"
#include "analysis_module/column_buffer.hpp"
#include "analysis_module/python_values.hpp"
#include "readers/series_file.hpp"

namespace zorv::analysis {
namespace {

bool to_format(const char* name, readers::SeriesFormat& format) {
    if (std::strcmp(name, "lammps") == 0) {
        format = readers::SeriesFormat::lammps;
    } else if (std::strcmp(name, "xvg") == 0) {
        format = readers::SeriesFormat::xvg;
    } else {
        PyErr_Format(PyExc_ValueError, "format must be 'lammps' or 'xvg', not '%.100s'", name);
        return false;
    }
    return true;
}

// Appends a new reference to a list; false with an exception set.
bool append(PyObject* list, PyObject* item) {
    Ref owned(item);
    return owned && PyList_Append(list, owned.get()) == 0;
}

PyObject* series_dict(PyObject* module, readers::SeriesTable& series) {
    Ref names(PyList_New(0));
    Ref columns(PyList_New(0));
    Ref units(PyList_New(0));
    if (!names || !columns || !units) return nullptr;
    for (std::size_t k = 0; k < series.table.columns.size(); ++k) {
        auto& [name, values] = series.table.columns[k];
        if (!append(names.get(), text(name)) || !append(units.get(), text(series.units[k])) ||
            !append(columns.get(), new_column(column_type(module), std::move(values)))) {
            return nullptr;
        }
    }
    Ref damage(damage_dict(series.damage, names.get()));
    if (!damage) return nullptr;
    return Py_BuildValue("{sOsOsOsOsK}", "names", names.get(), "columns", columns.get(), "units", units.get(),
                         "damage", damage.get(), "unmatched_legends",
                         static_cast<unsigned long long>(series.unmatched_legends));
}

}  // namespace

PyObject* read_series(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"path", "format", nullptr};
    PyObject* path = nullptr;
    const char* format_name = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O&s:read_series", const_cast<char**>(keywords),
                                     PyUnicode_FSConverter, &path, &format_name)) {
        return nullptr;
    }
    Ref owned_path(path);
    readers::SeriesFormat format;
    if (!to_format(format_name, format)) return nullptr;
    return guarded([&]() -> PyObject* {
        const std::string_view name(PyBytes_AS_STRING(path), static_cast<std::size_t>(PyBytes_GET_SIZE(path)));
        Result<readers::SeriesTable> read =
            without_interpreter([&] { return readers::read_series_file(name, format); });
        if (!read) {
            raise_error(read.error());
            return nullptr;
        }
        return series_dict(module, read.value());
    });
}

}  // namespace zorv::analysis
