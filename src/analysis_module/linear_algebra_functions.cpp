// The GLS fits' linear algebra: the order-n covariance, its factor and the
// whitening of a column, each in one native pass over one n × n buffer.
#include <cmath>
#include <vector>

#include "analysis_module/analysis_functions.hpp"
#include "analysis_module/borrowed_doubles.hpp"
#include "analysis_module/column_buffer.hpp"
#include "analysis_module/python_values.hpp"
#include "transport/cholesky_whitening.hpp"
#include "transport/order_n_covariance.hpp"

namespace zorv::analysis {
namespace {

// The side of a square buffer, or 0 with ValueError set.
std::size_t square_side(std::size_t size, const char* name) {
    const auto side = static_cast<std::size_t>(std::llround(std::sqrt(static_cast<double>(size))));
    if (side * side != size || side == 0) {
        PyErr_Format(PyExc_ValueError, "%s must be a non-empty square matrix", name);
        return 0;
    }
    return side;
}

}  // namespace

PyObject* order_n_covariance(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"block", "element", "origins", "nbe", "interval", nullptr};
    PyObject* objects[3] = {};
    long long nbe = 0;
    double interval = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOLd:order_n_covariance", const_cast<char**>(keywords),
                                     &objects[0], &objects[1], &objects[2], &nbe, &interval)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        BorrowedDoubles columns[3];
        const char* names[3] = {"block", "element", "origins"};
        for (int k = 0; k < 3; ++k) {
            if (!columns[k].borrow(objects[k], names[k])) return nullptr;
        }
        if (columns[1].size() != columns[0].size() || columns[2].size() != columns[0].size() || nbe < 2) {
            PyErr_SetString(PyExc_ValueError, "block, element and origins must be of one length, and nbe at least 2");
            return nullptr;
        }
        std::vector<transport::OrderNRow> rows(columns[0].size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i] = {static_cast<std::int64_t>(columns[0].data()[i]), static_cast<std::int64_t>(columns[1].data()[i]),
                       static_cast<std::int64_t>(columns[2].data()[i])};
        }
        FloatArray cov = without_interpreter([&] { return transport::order_n_covariance(rows, nbe, interval); });
        return new_column(column_type(module), std::move(cov));
    });
}

PyObject* reversed_cholesky(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"cov", "jitter", nullptr};
    PyObject* cov_object = nullptr;
    double jitter = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Od:reversed_cholesky", const_cast<char**>(keywords), &cov_object,
                                     &jitter)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        BorrowedDoubles cov;
        if (!cov.borrow(cov_object, "cov")) return nullptr;
        const std::size_t n = square_side(cov.size(), "cov");
        if (n == 0) return nullptr;
        Result<FloatArray> factor = without_interpreter([&] { return transport::reversed_cholesky(cov.data(), n, jitter); });
        if (!factor) {
            raise_error(factor.error());
            return nullptr;
        }
        return new_column(column_type(module), std::move(factor).value());
    });
}

PyObject* forward_substitution(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"factor", "b", nullptr};
    PyObject* factor_object = nullptr;
    PyObject* b_object = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:forward_substitution", const_cast<char**>(keywords),
                                     &factor_object, &b_object)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        BorrowedDoubles factor;
        BorrowedDoubles b;
        if (!factor.borrow(factor_object, "factor") || !b.borrow(b_object, "b")) return nullptr;
        const std::size_t n = square_side(factor.size(), "factor");
        if (n == 0) return nullptr;
        if (b.size() != n) {
            PyErr_SetString(PyExc_ValueError, "b must have one value per row of factor");
            return nullptr;
        }
        FloatArray y = without_interpreter([&] { return transport::forward_substitution(factor.data(), n, b.data()); });
        return new_column(column_type(module), std::move(y));
    });
}

}  // namespace zorv::analysis
