// TComponent: the data layer's base of named, owned objects (no Qt).
//
// A component has a Name and an Owner. The owner keeps a list of the
// components it owns and destroys them (last created first) when it is
// destroyed; a component destroyed by anyone else leaves its owner's list.
// Components that refer to another one ask it for a free notification and
// hear of its destruction through Notification(), so no pointer dangles.
//
// TStrings: lines of text with "NAME=value" look-ups, as used for SQL text
// and connection parameters.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum TOperation { opInsert, opRemove };

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    [[nodiscard]] const std::string& Name() const { return name_; }
    virtual void SetName(std::string name) { name_ = std::move(name); }
    [[nodiscard]] TComponent* Owner() const { return owner_; }

    [[nodiscard]] int ComponentCount() const { return static_cast<int>(components_.size()); }
    [[nodiscard]] TComponent* Components(int index) const { return components_.at(index); }
    // The owned component of that name (case ignored), or nullptr.
    [[nodiscard]] TComponent* FindComponent(std::string_view name) const;

    // `other` will call Notification(this, opRemove) when destroyed (and vice versa).
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

protected:
    // `component` is about to be destroyed: drop every reference to it.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    std::string name_;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
};

class TStrings {
public:
    TStrings() = default;
    TStrings(const TStrings& other) : lines_(other.lines_) {}
    TStrings& operator=(const TStrings& other);

    [[nodiscard]] int Count() const { return static_cast<int>(lines_.size()); }
    [[nodiscard]] const std::string& operator[](int index) const { return lines_.at(index); }
    [[nodiscard]] const std::string& Strings(int index) const { return lines_.at(index); }
    void SetStrings(int index, std::string line);
    void Clear();
    void Add(std::string line);
    // Lines each followed by CR LF.
    [[nodiscard]] std::string Text() const;
    // Splits at CR LF, LF or CR.
    void SetText(std::string_view text);

    // "NAME=value" lines; names compared ignoring case.
    [[nodiscard]] int IndexOfName(std::string_view name) const;
    [[nodiscard]] std::string Values(std::string_view name) const;
    // Replaces the value of that name (adds a line when absent; an empty value removes it).
    void SetValues(std::string_view name, std::string_view value);

    // Called after every change.
    void SetOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }

private:
    void Changed();

    std::vector<std::string> lines_;
    std::function<void()> onChange_;
};

namespace dataset {
[[nodiscard]] bool SameText(std::string_view a, std::string_view b);
[[nodiscard]] bool StartsWithText(std::string_view text, std::string_view prefix);
}  // namespace dataset
