// The GLS line of one MSD column and the lines of every start, natively: the
// start search reads thousands of single numbers per column, which Python
// pays for one by one.
#include <optional>

#include "analysis_module/analysis_functions.hpp"
#include "analysis_module/borrowed_doubles.hpp"
#include "analysis_module/column_buffer.hpp"
#include "analysis_module/python_values.hpp"
#include "transport/gls_line_fit.hpp"

namespace zorv::analysis {
namespace {

// The whitened rows lent by three buffers; false with ValueError set unless
// their sizes agree with n rows.
struct BorrowedRows {
    BorrowedDoubles factor;
    BorrowedDoubles design;
    BorrowedDoubles suffix_cov;

    bool borrow(PyObject* objects[3], std::size_t n) {
        if (!factor.borrow(objects[0], "factor") || !design.borrow(objects[1], "design") ||
            !suffix_cov.borrow(objects[2], "suffix_cov")) {
            return false;
        }
        if (n == 0 || factor.size() != n * n || design.size() != 2 * n || suffix_cov.size() != 4 * n) {
            PyErr_SetString(PyExc_ValueError,
                            "factor, design and suffix_cov must be n x n, n x 2 and n x 2 x 2 for n values, n > 0");
            return false;
        }
        return true;
    }

    transport::WhitenedRows rows(std::size_t n) const {
        return {factor.data(), design.data(), suffix_cov.data(), n};
    }
};

// None as absent, else a float; false with TypeError set otherwise.
bool optional_double(PyObject* object, std::optional<double>& out) {
    if (object == Py_None) return true;
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return false;
    out = value;
    return true;
}

bool parse_settings(PyObject* objects[3], double walkers, double run_length, PyObject* rule, int widen_fixed,
                    double z95, transport::GlsSettings& settings) {
    transport::StartRule& r = settings.rule;
    Py_ssize_t min_rows = 0;
    int step_on_bend = 0;
    int widen_anchor = 1;
    if (!PyArg_ParseTuple(rule, "dnddddppd;rule must be (factor, min_rows, horizon, accept_z, bend_z, "
                                "unconverged_factor, step_on_bend, widen_anchor, before_walkers)",
                          &r.factor, &min_rows, &r.horizon, &r.accept_z, &r.bend_z, &r.unconverged_factor,
                          &step_on_bend, &widen_anchor, &r.before_walkers)) {
        return false;
    }
    if (!optional_double(objects[0], settings.scale) || !optional_double(objects[1], settings.start_at) ||
        !optional_double(objects[2], settings.earliest)) {
        return false;
    }
    if (!(walkers > 0) || min_rows < 2) {
        PyErr_SetString(PyExc_ValueError, "walkers must be positive and min_rows at least 2");
        return false;
    }
    r.min_rows = static_cast<std::size_t>(min_rows);
    r.step_on_bend = step_on_bend != 0;
    r.widen_anchor = widen_anchor != 0;
    settings.walkers = walkers;
    settings.run_length = run_length;
    settings.widen_fixed = widen_fixed != 0;
    settings.z95 = z95;
    return true;
}

}  // namespace

PyObject* suffix_lines(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"factor", "design", "suffix_cov", "values", nullptr};
    PyObject* objects[3] = {};
    PyObject* values_object = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO:suffix_lines", const_cast<char**>(keywords), &objects[0],
                                     &objects[1], &objects[2], &values_object)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        BorrowedDoubles values;
        BorrowedRows rows;
        if (!values.borrow(values_object, "values") || !rows.borrow(objects, values.size())) return nullptr;
        FloatArray lines = transport::suffix_lines(rows.rows(values.size()), values.data());
        return new_column(column_type(module), std::move(lines));
    });
}

PyObject* gls_line(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"factor", "design",  "suffix_cov", "time",        "values", "walkers", "scale",
                                     "run_length", "rule", "start_at", "earliest", "widen_fixed", "z95",  nullptr};
    PyObject* rows_objects[3] = {};
    PyObject* column_objects[2] = {};
    PyObject* optional_objects[3] = {};
    PyObject* rule = nullptr;
    double walkers = 0.0;
    double run_length = 0.0;
    int widen_fixed = 0;
    double z95 = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOOOdOdO!OOpd:gls_line", const_cast<char**>(keywords),
                                     &rows_objects[0], &rows_objects[1], &rows_objects[2], &column_objects[0],
                                     &column_objects[1], &walkers, &optional_objects[0], &run_length, &PyTuple_Type,
                                     &rule, &optional_objects[1], &optional_objects[2], &widen_fixed, &z95)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        transport::GlsSettings settings;
        if (!parse_settings(optional_objects, walkers, run_length, rule, widen_fixed, z95, settings)) return nullptr;
        BorrowedDoubles time;
        BorrowedDoubles values;
        BorrowedRows rows;
        if (!time.borrow(column_objects[0], "time") || !values.borrow(column_objects[1], "values") ||
            !rows.borrow(rows_objects, values.size())) {
            return nullptr;
        }
        if (time.size() != values.size()) {
            PyErr_SetString(PyExc_ValueError, "time and values must be of one length");
            return nullptr;
        }
        std::optional<transport::GlsLine> line =
            transport::gls_line(rows.rows(values.size()), time.data(), values.data(), settings);
        if (!line) Py_RETURN_NONE;
        PyObject* fit = new_column(column_type(module), std::move(line->fit));
        PyObject* band = fit == nullptr ? nullptr : new_column(column_type(module), std::move(line->band));
        if (band == nullptr) {
            Py_XDECREF(fit);
            return nullptr;
        }
        return Py_BuildValue("(nddddNNNdd)", static_cast<Py_ssize_t>(line->start), line->slope, line->intercept,
                             line->se, line->widen, PyBool_FromLong(line->not_converged), fit, band, line->scale,
                             line->level);
    });
}

}  // namespace zorv::analysis
