// A reference to something callable: how a lower floor calls what a higher
// one hands it (a sink), without knowing who that is. It refers to a named
// callable, which must outlive every call made through the reference.
#pragma once
#include <type_traits>
#include <utility>

namespace khex {

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
public:
    template <class F>
        requires(!std::is_same_v<std::remove_cv_t<F>, FunctionRef>)
    FunctionRef(F& callable)  // NOLINT: taken implicitly where a sink is passed
        : object_(const_cast<void*>(static_cast<const void*>(&callable))),
          call_([](void* object, Args... args) -> R {
              return (*static_cast<F*>(object))(std::forward<Args>(args)...);
          })
    {
    }

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

}  // namespace khex
