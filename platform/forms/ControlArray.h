#pragma once
// A control array: controls of one name told apart by an index. Indexes need not start at 0
// or be contiguous (the main window's "height" array has elements 1 and 2 only).

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/base/RuntimeError.h"

namespace quillane {

template <class T>
class ControlArray {
  public:
    explicit ControlArray(std::string name) : m_name(std::move(name)) {}

    // Creates element index; the control is constructed with (name, index, args...).
    template <class... Args>
    T& Add(int index, Args&&... args) {
        auto control = std::make_unique<T>(m_name, index, std::forward<Args>(args)...);
        T& result = *control;
        m_elements[index] = std::move(control);
        return result;
    }

    // Raises Subscript out of range (9) for an index that has no element.
    T& operator[](int index) { return *Find(index); }
    const T& operator[](int index) const { return *Find(index); }

    const std::string& Name() const { return m_name; }
    int Count() const { return static_cast<int>(m_elements.size()); }

  private:
    T* Find(int index) const {
        auto found = m_elements.find(index);
        if (found == m_elements.end()) {
            RaiseError(ErrorNumber::SubscriptOutOfRange, "Control array element " + m_name + "(" +
                                                             std::to_string(index) +
                                                             ") does not exist");
        }
        return found->second.get();
    }

    std::string m_name;
    std::map<int, std::unique_ptr<T>> m_elements;
};

}  // namespace quillane
