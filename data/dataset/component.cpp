#include "data/dataset/component.h"

#include <algorithm>
#include <cctype>

namespace dataset {

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool StartsWithText(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

}  // namespace dataset

TComponent::TComponent(TComponent* owner)
{
    if (owner != nullptr) {
        owner->InsertComponent(this);
    }
}

TComponent::~TComponent()
{
    // Tell everyone holding a reference first, while this object is still whole
    // enough to be compared by address.
    const auto notifies = freeNotifies_;
    freeNotifies_.clear();
    for (TComponent* other : notifies) {
        auto& theirs = other->freeNotifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, opRemove);
    }
    while (!components_.empty()) {
        TComponent* last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;
        delete last;
    }
    if (owner_ != nullptr) {
        owner_->RemoveComponent(this);
    }
}

TComponent* TComponent::FindComponent(std::string_view name) const
{
    for (TComponent* component : components_) {
        if (dataset::SameText(component->Name(), name)) {
            return component;
        }
    }
    return nullptr;
}

void TComponent::FreeNotification(TComponent* other)
{
    if (other == nullptr || other == this) {
        return;
    }
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) {
        freeNotifies_.push_back(other);
    }
    if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) == other->freeNotifies_.end()) {
        other->freeNotifies_.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* other)
{
    if (other == nullptr) {
        return;
    }
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other), freeNotifies_.end());
    auto& theirs = other->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* /*component*/, TOperation /*operation*/) {}

void TComponent::InsertComponent(TComponent* component)
{
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* component)
{
    components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
    component->owner_ = nullptr;
}

TStrings& TStrings::operator=(const TStrings& other)
{
    if (this != &other) {
        lines_ = other.lines_;
        Changed();
    }
    return *this;
}

void TStrings::SetStrings(int index, std::string line)
{
    lines_.at(index) = std::move(line);
    Changed();
}

void TStrings::Clear()
{
    if (lines_.empty()) {
        return;
    }
    lines_.clear();
    Changed();
}

void TStrings::Add(std::string line)
{
    lines_.push_back(std::move(line));
    Changed();
}

std::string TStrings::Text() const
{
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStrings::SetText(std::string_view text)
{
    lines_.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines_.emplace_back(text.substr(start));
            break;
        }
        lines_.emplace_back(text.substr(start, end - start));
        if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    Changed();
}

int TStrings::IndexOfName(std::string_view name) const
{
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto eq = lines_[i].find('=');
        if (eq != std::string::npos && dataset::SameText(std::string_view(lines_[i]).substr(0, eq), name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string TStrings::Values(std::string_view name) const
{
    const int index = IndexOfName(name);
    if (index < 0) {
        return {};
    }
    const auto& line = lines_[static_cast<std::size_t>(index)];
    return line.substr(line.find('=') + 1);
}

void TStrings::SetValues(std::string_view name, std::string_view value)
{
    const int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0) {
            lines_.erase(lines_.begin() + index);
            Changed();
        }
        return;
    }
    std::string line = std::string(name) + "=" + std::string(value);
    if (index >= 0) {
        lines_[static_cast<std::size_t>(index)] = std::move(line);
    } else {
        lines_.push_back(std::move(line));
    }
    Changed();
}

void TStrings::Changed()
{
    if (onChange_) {
        onChange_();
    }
}
