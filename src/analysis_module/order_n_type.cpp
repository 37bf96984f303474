#include "analysis_module/order_n_type.hpp"

#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

#include "analysis_module/borrowed_doubles.hpp"
#include "analysis_module/column_buffer.hpp"
#include "analysis_module/analysis_functions.hpp"
#include "analysis_module/python_values.hpp"
#include "transport/order_n_accumulator.hpp"
#include "transport/order_n_flux.hpp"

namespace zorv::analysis {
namespace {

using Accumulator = std::variant<transport::OrderNAccumulator, transport::OrderNFlux>;

struct OrderN {
    PyObject_HEAD
    Accumulator* accumulator;
    PyObject* column_type;  // strong: tables() outlives no module state it needs
};

OrderN* as_order_n(PyObject* self) { return reinterpret_cast<OrderN*>(self); }

void order_n_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete as_order_n(self)->accumulator;
    if (as_order_n(self)->column_type != nullptr) Py_DecRef(as_order_n(self)->column_type);
    type->tp_free(self);
    Py_DecRef(reinterpret_cast<PyObject*>(type));
}

PyObject* wrap(PyObject* module, Accumulator&& accumulator) {
    auto* object = PyObject_New(OrderN, reinterpret_cast<PyTypeObject*>(order_n_type(module)));
    if (object == nullptr) return nullptr;
    object->accumulator = nullptr;
    object->column_type = Py_NewRef(column_type(module));
    Ref owner(reinterpret_cast<PyObject*>(object));
    object->accumulator = new Accumulator(std::move(accumulator));
    return owner.release();
}

// add(frames) -> frames so far: any whole number of frames, row after row.
PyObject* order_n_add(PyObject* self, PyObject* frames) {
    return guarded([&]() -> PyObject* {
        Accumulator& accumulator = *as_order_n(self)->accumulator;
        BorrowedDoubles values;
        if (!values.borrow(frames, "frames")) return nullptr;
        const std::size_t width = std::visit([](auto& a) { return a.width(); }, accumulator);
        if (values.size() % width != 0) {
            return PyErr_Format(PyExc_ValueError, "frames must hold a multiple of %zu values, not %zu", width,
                                values.size());
        }
        const std::uint64_t frames_so_far = std::visit(
            [&](auto& a) {
                for (std::size_t at = 0; at < values.size(); at += width) a.add(values.data() + at);
                return a.frames();
            },
            accumulator);
        return PyLong_FromUnsignedLongLong(frames_so_far);
    });
}

PyObject* whole_numbers(PyObject* type, const std::vector<std::uint64_t>& values) {
    return new_column(type, FloatArray(values.begin(), values.end()));
}

// A flux accumulator's tables also give the pressure its bulk channel was taken from (None without one).
bool add_mean_pressure(PyObject* dict, const Accumulator& accumulator) {
    const auto* flux = std::get_if<transport::OrderNFlux>(&accumulator);
    if (flux == nullptr) return true;
    const std::optional<double> mean = flux->mean_pressure();
    Ref value(mean ? PyFloat_FromDouble(*mean) : Py_NewRef(Py_None));
    return value && PyDict_SetItemString(dict, "mean_pressure", value.get()) == 0;
}

// tables() -> dict of Columns: block, element, origins (per row), squares (rows × groups) and products (rows × pairs).
PyObject* order_n_tables(PyObject* self, PyObject*) {
    return guarded([&]() -> PyObject* {
        OrderN* o = as_order_n(self);
        transport::OrderNTables t = std::visit([](auto& a) { return a.tables(); }, *o->accumulator);
        Ref dict(PyDict_New());
        if (!dict) return nullptr;
        const std::pair<const char*, PyObject*> items[] = {
            {"block", whole_numbers(o->column_type, t.block)},
            {"element", whole_numbers(o->column_type, t.element)},
            {"origins", whole_numbers(o->column_type, t.origins)},
            {"squares", new_column(o->column_type, std::move(t.squares))},
            {"products", new_column(o->column_type, std::move(t.products))},
        };
        bool failed = false;
        for (const auto& [name, value] : items) {
            Ref owned(value);
            if (failed || !owned || PyDict_SetItemString(dict.get(), name, owned.get()) < 0) failed = true;
        }
        if (failed || !add_mean_pressure(dict.get(), *o->accumulator)) return nullptr;
        return dict.release();
    });
}

PyObject* order_n_frames(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(std::visit([](auto& a) { return a.frames(); }, *as_order_n(self)->accumulator));
}

PyObject* order_n_width(PyObject* self, void*) {
    return PyLong_FromSize_t(std::visit([](auto& a) { return a.width(); }, *as_order_n(self)->accumulator));
}

PyMethodDef order_n_methods[] = {
    {"add", order_n_add, METH_O,
     "add(frames) -> int\n\nFeed whole frames (a float64 buffer of a multiple of width values, frame after frame); "
     "returns the frames fed so far."},
    {"tables", order_n_tables, METH_NOARGS,
     "tables() -> dict\n\nblock, element, origins per row, squares (rows x groups) and products (rows x pairs g <= h) "
     "as float64 Columns: sums over origins, not yet divided."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef order_n_getset[] = {
    {"frames", order_n_frames, nullptr, "Frames fed so far.", nullptr},
    {"width", order_n_width, nullptr, "Values per frame.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot order_n_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(order_n_dealloc)},
    {Py_tp_methods, order_n_methods},
    {Py_tp_getset, order_n_getset},
    {Py_tp_doc, const_cast<char*>("A streaming order-n accumulator; made by ordern_positions or ordern_flux.")},
    {0, nullptr},
};

PyType_Spec order_n_spec = {
    "_zorv_analysis.OrderN", sizeof(OrderN), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, order_n_slots,
};

// Group indices given as whole numbers in a float64 buffer or a sequence; false with ValueError set otherwise.
bool to_groups(PyObject* object, std::vector<std::uint32_t>& out) {
    FloatArray values;
    if (!to_float_array(object, values, "species")) return false;
    for (const double v : values) {
        if (!(v >= 0.0 && v < 4294967296.0 && v == std::floor(v))) {
            PyErr_SetString(PyExc_ValueError, "species must hold whole numbers from 0");
            return false;
        }
        out.push_back(static_cast<std::uint32_t>(v));
    }
    return true;
}

}  // namespace

PyObject* make_order_n_type(PyObject* module) { return PyType_FromModuleAndSpec(module, &order_n_spec, nullptr); }

PyObject* ordern_positions(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"species", "groups", "nb", "nbe", nullptr};
    PyObject* species = nullptr;
    Py_ssize_t groups = 0, nb = 0, nbe = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Onnn:ordern_positions", const_cast<char**>(keywords), &species,
                                     &groups, &nb, &nbe)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        transport::OrderNSettings settings;
        if (!to_groups(species, settings.group)) return nullptr;
        if (groups < 0 || nb < 0 || nbe < 0) return PyErr_Format(PyExc_ValueError, "counts must not be negative");
        settings.groups = static_cast<std::size_t>(groups);
        settings.nb = static_cast<std::size_t>(nb);
        settings.nbe = static_cast<std::size_t>(nbe);
        settings.dims = 3;
        settings.products = true;
        Result<transport::OrderNAccumulator> made = transport::OrderNAccumulator::create(std::move(settings));
        if (!made) {
            raise_error(made.error());
            return nullptr;
        }
        return wrap(module, Accumulator(std::move(made).value()));
    });
}

PyObject* ordern_flux(PyObject* module, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"channels", "nb", "nbe", "interval", "mean_pressure", "own_mean", nullptr};
    Py_ssize_t channels = 0, nb = 0, nbe = 0;
    double interval = 0.0;
    PyObject* mean = Py_None;
    int own_mean = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "nnnd|Op:ordern_flux", const_cast<char**>(keywords), &channels,
                                     &nb, &nbe, &interval, &mean, &own_mean)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        transport::MeanPressure mean_pressure;
        mean_pressure.own = own_mean != 0;
        if (mean != Py_None) {
            mean_pressure.given = PyFloat_AsDouble(mean);
            if (*mean_pressure.given == -1.0 && PyErr_Occurred()) return nullptr;
        }
        if (channels < 0 || nb < 0 || nbe < 0) return PyErr_Format(PyExc_ValueError, "counts must not be negative");
        Result<transport::OrderNFlux> made =
            transport::OrderNFlux::create(static_cast<std::size_t>(channels), static_cast<std::size_t>(nb),
                                          static_cast<std::size_t>(nbe), interval, mean_pressure);
        if (!made) {
            raise_error(made.error());
            return nullptr;
        }
        return wrap(module, Accumulator(std::move(made).value()));
    });
}

}  // namespace zorv::analysis
