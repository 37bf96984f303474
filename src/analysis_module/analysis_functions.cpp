#include "analysis_module/analysis_functions.hpp"

#include <new>
#include <string_view>
#include <utility>

#include "analysis_module/column_buffer.hpp"
#include "analysis_module/python_values.hpp"
#include "readers/checked_table.hpp"
#include "transport/msd_window_spread.hpp"

namespace zorv::analysis {
namespace {

std::string_view bytes_of(PyObject* bytes) {
    return {PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes))};
}

// Names and Columns of the table, assigned in order into a dict: a repeated
// name keeps its first place and its last values.
PyObject* columns_dict(PyObject* module, ColumnTable& table, PyObject* names) {
    Ref dict(PyDict_New());
    if (!dict) return nullptr;
    for (auto& [name, values] : table.columns) {
        Ref key(text(name));
        Ref column(new_column(column_type(module), std::move(values)));
        if (!key || !column || PyList_Append(names, key.get()) < 0 ||
            PyDict_SetItem(dict.get(), key.get(), column.get()) < 0) {
            return nullptr;
        }
    }
    return dict.release();
}

PyObject* summary_dict(PyObject* module, readers::ColumnSummary& summary, PyObject* label) {
    Ref names(Py_BuildValue("[O]", label));
    Ref blocks(names ? new_column(column_type(module), std::move(summary.block_means)) : nullptr);
    Ref damage(blocks ? damage_dict(summary.damage, names.get()) : nullptr);
    if (!damage) return nullptr;
    return Py_BuildValue("{sKsKsKsdsdsOsO}", "columns", static_cast<unsigned long long>(summary.columns), "rows",
                         static_cast<unsigned long long>(summary.rows), "count",
                         static_cast<unsigned long long>(summary.count), "mean", summary.mean, "variance",
                         summary.variance, "block_means", blocks.get(), "damage", damage.get());
}

}  // namespace

PyObject* read_table(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"path", "layout", nullptr};
    PyObject* path = nullptr;
    const char* layout_name = "transport";
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O&|s:read_table", const_cast<char**>(keywords),
                                     PyUnicode_FSConverter, &path, &layout_name)) {
        return nullptr;
    }
    Ref owned_path(path);
    readers::TableLayout layout;
    if (!to_layout(layout_name, layout)) return nullptr;
    return guarded([&]() -> PyObject* {
        Result<readers::CheckedTable> read = without_interpreter(
            [&] { return readers::read_checked_table(bytes_of(path), layout); });
        if (!read) {
            raise_error(read.error());
            return nullptr;
        }
        Ref names(PyList_New(0));
        Ref columns(names ? columns_dict(module, read.value().table, names.get()) : nullptr);
        Ref damage(columns ? damage_dict(read.value().damage, names.get()) : nullptr);
        return damage ? PyTuple_Pack(2, columns.get(), damage.get()) : nullptr;
    });
}

PyObject* summarize_column(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"path", "column", "layout", "block_rows", nullptr};
    PyObject* path = nullptr;
    unsigned long long column = 1;
    const char* layout_name = "thermo";
    unsigned long long block_rows = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O&|KsK:summarize_column", const_cast<char**>(keywords),
                                     PyUnicode_FSConverter, &path, &column, &layout_name, &block_rows)) {
        return nullptr;
    }
    Ref owned_path(path);
    readers::TableLayout layout;
    if (!to_layout(layout_name, layout)) return nullptr;
    return guarded([&]() -> PyObject* {
        Result<readers::ColumnSummary> read = without_interpreter(
            [&] { return readers::summarize_column(bytes_of(path), layout, column, block_rows); });
        if (!read) {
            raise_error(read.error());
            return nullptr;
        }
        Ref label(PyUnicode_FromFormat("column %llu", column));
        return label ? summary_dict(module, read.value(), label.get()) : nullptr;
    });
}

PyObject* window_spread(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"time", "msd", "margin", "min_window", "max_window", "max_error",
                                     "min_displacement", nullptr};
    PyObject* time_object = nullptr;
    PyObject* msd_object = nullptr;
    transport::WindowSettings settings{};
    unsigned long long min_window = 0;
    unsigned long long max_window = 0;
    double min_displacement = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOdKKdd:window_spread", const_cast<char**>(keywords),
                                     &time_object, &msd_object, &settings.margin, &min_window, &max_window,
                                     &settings.max_error, &min_displacement)) {
        return nullptr;
    }
    settings.min_window = min_window;
    settings.max_window = max_window;
    return guarded([&]() -> PyObject* {
        FloatArray time;
        FloatArray msd;
        if (!to_float_array(time_object, time, "time") || !to_float_array(msd_object, msd, "msd")) return nullptr;
        const transport::SlopeSpread spread = transport::window_slope_spread(time, msd, settings, min_displacement);
        return Py_BuildValue("(Kddd)", static_cast<unsigned long long>(spread.accepted), spread.min, spread.max,
                             spread.chosen);
    });
}

}  // namespace zorv::analysis
