#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

template <typename Signature>
class HidHandler;

// A handler of the HID controller's events: a routine bound to an object, or
// a callable. Unlike std::function it compares: the controller hands a new
// handler on only to devices that still have the old one, and setting the
// same device-change handler again must not run a pass. Two handlers are equal
// when they bind the same member function to the same object, or when one is
// a copy of the other.
template <typename R, typename... Args>
class HidHandler<R(Args...)>
{
public:
    HidHandler() = default;
    HidHandler(std::nullptr_t) {}

    template <typename T>
    HidHandler(T *object, R (T::*method)(Args...))
        : m_target(std::make_shared<const Member<T>>(object, method))
    {
    }

    template <typename F,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, HidHandler>
                                          && std::is_invocable_r_v<R, F &, Args...>>>
    HidHandler(F callable)
        : m_target(std::make_shared<const Functor<F>>(std::move(callable)))
    {
    }

    explicit operator bool() const { return bool(m_target); }

    // The call keeps the target alive: a handler may replace or clear the very
    // handler it was called through.
    R operator()(Args... args) const
    {
        const std::shared_ptr<const Target> keep = m_target;
        return keep->call(std::forward<Args>(args)...);
    }

    friend bool operator==(const HidHandler &a, const HidHandler &b)
    {
        if (a.m_target == b.m_target)
            return true;
        if (!a.m_target || !b.m_target)
            return false;
        return a.m_target->same(*b.m_target);
    }

private:
    struct Target
    {
        virtual ~Target() = default;
        virtual R call(Args... args) const = 0;
        virtual bool same(const Target &other) const = 0;
    };

    template <typename T>
    struct Member final : Target
    {
        Member(T *o, R (T::*m)(Args...)) : object(o), method(m) {}
        R call(Args... args) const override { return (object->*method)(std::forward<Args>(args)...); }
        bool same(const Target &other) const override
        {
            const auto *o = dynamic_cast<const Member *>(&other);
            return o && o->object == object && o->method == method;
        }
        T *object;
        R (T::*method)(Args...);
    };

    template <typename F>
    struct Functor final : Target
    {
        explicit Functor(F f) : callable(std::move(f)) {}
        R call(Args... args) const override { return callable(std::forward<Args>(args)...); }
        // Only a copy of the same handler shares the target.
        bool same(const Target &) const override { return false; }
        mutable F callable;
    };

    std::shared_ptr<const Target> m_target;
};
