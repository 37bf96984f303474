// The per-function entry, generated from a computation's native signature:
// bind, convert each parameter in order, compute, build the result.
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "common/call_error.hpp"
#include "module/bind_arguments.hpp"
#include "module/call_boundary.hpp"
#include "module/conversions.hpp"
#include "module/function_signatures.hpp"
#include "module/note_argument.hpp"
#include "module/result_builders.hpp"

namespace zorv::module {

template <class F>
struct computation_traits;

template <class R, class... Args>
struct computation_traits<R (*)(Args...)> {
    using natives = std::tuple<std::remove_cvref_t<Args>...>;
    static constexpr std::size_t arity = sizeof...(Args);
};

template <class T>
PyObject* build_result(T&& value) {
    return to_python(std::forward<T>(value));
}

template <class T>
PyObject* build_result(Result<T>&& result) {
    if (!result.ok()) {
        raise_call_error(result.error());
        return nullptr;
    }
    return to_python(std::move(result).value());
}

// Converts in parameter order; the first refusal gets its note and stops.
template <class Natives, std::size_t... I>
bool convert_all(const FunctionSignature& signature, PyObject* const* bound, Natives& natives,
                 std::index_sequence<I...>) {
    const auto one = [&](std::size_t index, auto& out) {
        if (convert(bound[index], out)) {
            return true;
        }
        note_argument(signature.params[index]);
        return false;
    };
    return (one(I, std::get<I>(natives)) && ...);
}

template <Fn F, auto Compute>
PyObject* entry(PyObject* /*unused: static method*/, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
    using traits = computation_traits<decltype(Compute)>;
    constexpr const FunctionSignature& signature = signature_of(F);
    static_assert(traits::arity == signature.params.size(),
                  "the computation's parameters must match the function's signature");
    return guarded_call([&]() -> PyObject* {
        std::array<PyObject*, traits::arity> bound{};
        if (!bind_arguments(signature, args, nargs, kwnames, bound.data())) {
            return nullptr;
        }
        typename traits::natives natives;
        if (!convert_all(signature, bound.data(), natives,
                         std::make_index_sequence<traits::arity>{})) {
            return nullptr;
        }
        return build_result(std::apply(Compute, std::move(natives)));
    });
}

}  // namespace zorv::module
