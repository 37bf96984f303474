// _zorv_analysis: the module definition, its state (the Column type) and its functions.
#include "analysis_module/analysis_functions.hpp"
#include "analysis_module/column_buffer.hpp"
#include "analysis_module/order_n_type.hpp"

namespace zorv::analysis {
namespace {

struct ModuleState {
    PyObject* column_type;
    PyObject* order_n_type;
};

ModuleState* state_of(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

int execute(PyObject* module) {
    PyObject* type = make_column_type(module);
    if (type == nullptr) return -1;
    state_of(module)->column_type = type;
    if (PyModule_AddObjectRef(module, "Column", type) < 0) return -1;
    PyObject* order_n = make_order_n_type(module);
    if (order_n == nullptr) return -1;
    state_of(module)->order_n_type = order_n;
    return PyModule_AddObjectRef(module, "OrderN", order_n);
}

int traverse(PyObject* module, visitproc visit, void* arg) {
    Py_VISIT(state_of(module)->column_type);
    Py_VISIT(state_of(module)->order_n_type);
    return 0;
}

int clear(PyObject* module) {
    Py_CLEAR(state_of(module)->column_type);
    Py_CLEAR(state_of(module)->order_n_type);
    return 0;
}

void free_module(void* module) { clear(static_cast<PyObject*>(module)); }

PyMethodDef methods[] = {
    {"read_table", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_table)),
     METH_VARARGS | METH_KEYWORDS,
     "read_table(path, layout='transport') -> (columns, damage)\n\n"
     "The table of a transport ('transport') or fix ave/time ('thermo') file as a dict of read-only float64 "
     "Columns, the rows _zorv_pp's reader gives less a last line cut mid-write, and the damage of the same pass."},
    {"summarize_column", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(summarize_column)),
     METH_VARARGS | METH_KEYWORDS,
     "summarize_column(path, column=1, layout='thermo', block_rows=0) -> dict\n\n"
     "Count, mean and variance of the finite values of one column and the means of its full blocks of "
     "block_rows rows, in one pass that builds no column."},
    {"read_series", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_series)),
     METH_VARARGS | METH_KEYWORDS,
     "read_series(path, format) -> dict\n\n"
     "A LAMMPS fix ave/time ('lammps') or xvg ('xvg') series: names, read-only float64 Columns and units in "
     "column order (the step or time first), the damage of the pass and the number of legends past the rows."},
    {"window_spread", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(window_spread)),
     METH_VARARGS | METH_KEYWORDS,
     "window_spread(time, msd, margin, min_window, max_window, max_error, min_displacement)"
     " -> (accepted, min, max, chosen)\n\n"
     "Raw-data slopes over every window diff_calculator's search accepts with these settings: their number, "
     "least and greatest, and the slope of the window it keeps."},
    {"order_n_covariance", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(order_n_covariance)),
     METH_VARARGS | METH_KEYWORDS,
     "order_n_covariance(block, element, origins, nbe, interval) -> Column\n\n"
     "The n x n unit covariance (row-major) of order-n rows, given as float64 arrays of whole numbers."},
    {"reversed_cholesky", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(reversed_cholesky)),
     METH_VARARGS | METH_KEYWORDS,
     "reversed_cholesky(cov, jitter) -> Column\n\n"
     "L (n x n, row-major, lower) with L L^T the covariance of the rows last to first, factored on the "
     "correlation with jitter on its diagonal; ValueError when it is not positive definite."},
    {"forward_substitution", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(forward_substitution)),
     METH_VARARGS | METH_KEYWORDS, "forward_substitution(factor, b) -> Column\n\nL^-1 b for a lower-triangular L."},
    {"shell_vertex", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(shell_vertex)),
     METH_VARARGS | METH_KEYWORDS,
     "shell_vertex(x, y, degree, sign) -> (found, offset, value) or None\n\n"
     "The extremum nearest 0 (a maximum for sign 1, a minimum for -1) within [min x, max x] of the "
     "least-squares polynomial of degree through (x, y), and its value; offset 0 when there is none. None "
     "when the points do not determine the polynomial."},
    {"suffix_lines", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(suffix_lines)),
     METH_VARARGS | METH_KEYWORDS,
     "suffix_lines(factor, design, suffix_cov, values) -> Column\n\n"
     "(intercept, slope) of the GLS line through rows s..n-1 of values for every start s (n x 2), from the "
     "reversed factor, whitened design and suffix covariances of the rows."},
    {"gls_line", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(gls_line)),
     METH_VARARGS | METH_KEYWORDS,
     "gls_line(factor, design, suffix_cov, time, values, walkers, scale, run_length, rule, start_at, earliest, "
     "widen_fixed, z95) -> (start, slope, intercept, se, widen, not_converged, fit, band) or None\n\n"
     "The GLS line of one column from the start its rule chooses (or start_at), the slope's error before "
     "widening, the widening, and the line and its z95 half-width from the start on; None when no start is "
     "feasible or the line does not rise. rule is (factor, min_rows, horizon, accept_z, bend_z, "
     "unconverged_factor, step_on_bend, widen_anchor, before_walkers); scale, start_at and earliest may be None."},
    {"first_shell", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(first_shell)),
     METH_VARARGS | METH_KEYWORDS,
     "first_shell(radius, g, scale) -> (peak, minimum, integral) or None\n\n"
     "The first peak of an RDF and the first minimum after it, searched on the curve smoothed over the length "
     "scale, each as (grid point, vertex, value) with vertex and value None when the points near it do not "
     "determine the polynomial; minimum None when there is none; integral = int_0^r_min g r^2 dr (NaN without "
     "a fitted minimum). Rows with a non-finite value are dropped; None without a peak."},
    {"shell_integral", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(shell_integral)),
     METH_VARARGS | METH_KEYWORDS,
     "shell_integral(radius, g, upto) -> float\n\n"
     "int_0^upto g r^2 dr of the histogram g whose bins are centred on radius."},
    {"ordern_positions", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(ordern_positions)),
     METH_VARARGS | METH_KEYWORDS,
     "ordern_positions(species, groups, nb, nbe) -> OrderN\n\n"
     "An order-n accumulator of unwrapped molecule positions (frames of n x 3 values, species[m] in 0..groups-1 "
     "per molecule): squares sum |dr|^2 per species, products dR_g . dR_h of the species' summed positions."},
    {"ordern_flux", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(ordern_flux)),
     METH_VARARGS | METH_KEYWORDS,
     "ordern_flux(channels, nb, nbe, interval, mean_pressure=None, own_mean=False) -> OrderN\n\n"
     "An order-n accumulator of the trapezoidal time integrals of a flux series sampled every interval: squares "
     "per channel. With mean_pressure (or own_mean) a frame is a pressure tensor (xx, yy, zz, xy, xz, yz) whose "
     "channels are xx-p, yy-p, zz-p, xy, xz, yz and p-mean, p the trace over 3; own_mean takes the run's own "
     "trapezoidal mean of p, subtracted exactly once the frames are in. tables() then also gives mean_pressure."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(execute)},
#if PY_VERSION_HEX >= 0x030C0000
    {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef definition = {
    PyModuleDef_HEAD_INIT, "_zorv_analysis",
    "Native readers, column summaries and the window spread of the zorv_pp analysis layer.",
    sizeof(ModuleState), methods, slots, traverse, clear, free_module,
};

}  // namespace

PyObject* column_type(PyObject* module) { return state_of(module)->column_type; }
PyObject* order_n_type(PyObject* module) { return state_of(module)->order_n_type; }

}  // namespace zorv::analysis

PyMODINIT_FUNC PyInit__zorv_analysis() { return PyModuleDef_Init(&zorv::analysis::definition); }
