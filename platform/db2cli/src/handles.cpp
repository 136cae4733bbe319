#include "handles.hpp"

namespace db2s {

handle_table& handle_table::instance() {
    static handle_table table;
    return table;
}

SQLHANDLE handle_table::add(std::unique_ptr<handle_object> object) {
    std::lock_guard lock(mutex_);
    // Numbers are not reused soon, so a stale handle is reported as invalid, not misdirected.
    while (next_ <= 0 || objects_.count(next_)) next_ = next_ <= 0 ? 1 : next_ + 1;
    const SQLHANDLE id = next_++;
    object->id = id;
    objects_[id] = std::move(object);
    return id;
}

handle_object* handle_table::find(SQLSMALLINT type, SQLHANDLE id) {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(id);
    if (it == objects_.end() || it->second->type != type) return nullptr;
    return it->second.get();
}

void handle_table::remove(SQLHANDLE id) {
    std::unique_ptr<handle_object> doomed;
    {
        std::lock_guard lock(mutex_);
        const auto it = objects_.find(id);
        if (it == objects_.end()) return;
        doomed = std::move(it->second);
        objects_.erase(it);
    }
}

int handle_table::live() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(objects_.size());
}

}  // namespace db2s
