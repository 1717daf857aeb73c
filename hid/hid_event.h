// Event handlers as the HID controller and devices keep them: a function bound to an object.
// Two handlers count as the same when their function is the same, whatever object they are
// bound to; a device follows its controller's handler only while it still has that function.
#pragma once

#include <memory>
#include <utility>

template <class Signature>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)>
{
public:
    TEvent() = default;
    TEvent(std::nullptr_t) {}

    // A member function bound to an object: TEvent<...>::Bind<&TForm1::Handler>(this).
    template <auto Method, class T>
    static TEvent Bind(T* object)
    {
        TEvent event;
        event.Object = object;
        event.Code = &MethodThunk<Method, T>;
        return event;
    }

    // Any callable (tests, small tools). Every closure type is a function of its own.
    template <class F>
    static TEvent FromCallable(F callable)
    {
        TEvent event;
        auto held = std::make_shared<F>(std::move(callable));
        event.Object = held.get();
        event.Holder = std::move(held);
        event.Code = &CallableThunk<F>;
        return event;
    }

    explicit operator bool() const { return Code != nullptr; }
    R operator()(Args... args) const { return Code(Object, std::forward<Args>(args)...); }

    bool SameFunction(const TEvent& other) const { return Code == other.Code; }

private:
    template <auto Method, class T>
    static R MethodThunk(void* object, Args... args)
    {
        return (static_cast<T*>(object)->*Method)(std::forward<Args>(args)...);
    }
    template <class F>
    static R CallableThunk(void* object, Args... args)
    {
        return (*static_cast<F*>(object))(std::forward<Args>(args)...);
    }

    void* Object = nullptr;
    R (*Code)(void*, Args...) = nullptr;
    std::shared_ptr<void> Holder;
};
