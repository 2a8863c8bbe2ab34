// A callable kept inside the object itself, for handing work to another
// thread: making, copying and calling one never allocates, so a hand-off
// cannot fail half-way. It holds only callables that are trivially copyable
// (lambdas that capture pointers, references and numbers) and fit in
// kCapacity bytes; anything else does not compile.
#ifndef VANTREL_INPLACE_FUNCTION_H_
#define VANTREL_INPLACE_FUNCTION_H_

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace vantrel {

template <class Signature, std::size_t kCapacity = 4 * sizeof(void*)>
class InplaceFunction;

template <class R, class... Args, std::size_t kCapacity>
class InplaceFunction<R(Args...), kCapacity> {
 public:
  // Empty: calling it is an error; test with operator bool.
  InplaceFunction() = default;

  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, InplaceFunction> &&
             std::is_invocable_r_v<R, F&, Args...>)
  InplaceFunction(F callable) noexcept : call_(&call<F>) {  // NOLINT: converts like std::function
    static_assert(std::is_trivially_copyable_v<F>,
                  "capture only pointers, references and numbers");
    static_assert(sizeof(F) <= kCapacity, "the callable captures too much");
    static_assert(alignof(F) <= alignof(std::max_align_t));
    ::new (static_cast<void*>(storage_)) F(callable);
  }

  explicit operator bool() const { return call_ != nullptr; }

  R operator()(Args... args) { return call_(storage_, std::forward<Args>(args)...); }

 private:
  template <class F>
  static R call(void* storage, Args... args) {
    return (*std::launder(static_cast<F*>(storage)))(std::forward<Args>(args)...);
  }

  alignas(std::max_align_t) unsigned char storage_[kCapacity] = {};
  R (*call_)(void*, Args...) = nullptr;
};

}  // namespace vantrel

#endif  // VANTREL_INPLACE_FUNCTION_H_
