#pragma once

// Small owners of GStreamer references, so that C++ code below the elements'
// C callbacks lets go of what it holds on every way out.

#include <gst/gst.h>

#include <utility>

namespace velarium::gst {

// Owns one reference of a GstMiniObject kind (buffer, caps, event, tag list…).
template <typename T>
class MiniObjectRef {
public:
    MiniObjectRef() = default;
    // Takes over a reference the caller owns.
    explicit MiniObjectRef(T* object) : object_(object) {}
    MiniObjectRef(const MiniObjectRef& other) : object_(other.object_) {
        if (object_) gst_mini_object_ref(GST_MINI_OBJECT_CAST(object_));
    }
    MiniObjectRef(MiniObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    MiniObjectRef& operator=(MiniObjectRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~MiniObjectRef() {
        if (object_) gst_mini_object_unref(GST_MINI_OBJECT_CAST(object_));
    }

    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the reference to the caller.
    T* release() { return std::exchange(object_, nullptr); }

private:
    T* object_ = nullptr;
};

using BufferRef = MiniObjectRef<GstBuffer>;
using CapsRef = MiniObjectRef<GstCaps>;
using TagListRef = MiniObjectRef<GstTagList>;

// Owns one reference of a GstObject (pad, element, bus…).
template <typename T>
class ObjectRef {
public:
    ObjectRef() = default;
    explicit ObjectRef(T* object) : object_(object) {}
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    ObjectRef(ObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ObjectRef& operator=(ObjectRef&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~ObjectRef() {
        if (object_) gst_object_unref(object_);
    }

    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

}  // namespace velarium::gst
