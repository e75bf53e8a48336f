#pragma once

// Small owners of GStreamer references, so that the C++ code below the
// elements' C callbacks lets go of what it holds on every way out. Every
// reference the plugin holds (rather than hands straight to a call that
// takes it) lives in one of these.

#include <gst/gst.h>
#include <gst/video/gstvideoutils.h>

#include <utility>

namespace velarium::gst {

// How each kind of object is counted.
struct MiniObjectCounting {  // buffers, caps, events, queries, messages, tag lists, samples
    static void ref(gpointer object) { gst_mini_object_ref(GST_MINI_OBJECT_CAST(object)); }
    static void unref(gpointer object) { gst_mini_object_unref(GST_MINI_OBJECT_CAST(object)); }
};
struct ObjectCounting {  // pads, elements, buses, factories, plugins
    static void ref(gpointer object) { gst_object_ref(object); }
    static void unref(gpointer object) { gst_object_unref(object); }
};
struct CodecStateCounting {
    static void ref(gpointer state) { gst_video_codec_state_ref(static_cast<GstVideoCodecState*>(state)); }
    static void unref(gpointer state) { gst_video_codec_state_unref(static_cast<GstVideoCodecState*>(state)); }
};

// Owns one reference; a copy takes one more.
template <typename T, typename Counting>
class Ref {
public:
    Ref() = default;
    // Takes over a reference the caller owns.
    explicit Ref(T* object) : object_(object) {}
    // Takes a reference of its own to an object someone else owns.
    static Ref borrow(T* object) {
        if (object) Counting::ref(object);
        return Ref(object);
    }
    Ref(const Ref& other) : Ref(borrow(other.object_).release()) {}
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~Ref() {
        if (object_) Counting::unref(object_);
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the reference over, to a call that takes it.
    T* release() { return std::exchange(object_, nullptr); }
    // For a call that returns a new reference through a pointer: lets go of
    // what was held and gives the place to write the new one.
    T** out() {
        *this = Ref();
        return &object_;
    }

private:
    T* object_ = nullptr;
};

template <typename T>
using MiniObjectRef = Ref<T, MiniObjectCounting>;
template <typename T>
using ObjectRef = Ref<T, ObjectCounting>;

using BufferRef = MiniObjectRef<GstBuffer>;
using CapsRef = MiniObjectRef<GstCaps>;
using EventRef = MiniObjectRef<GstEvent>;
using QueryRef = MiniObjectRef<GstQuery>;
using MessageRef = MiniObjectRef<GstMessage>;
using TagListRef = MiniObjectRef<GstTagList>;
using SampleRef = MiniObjectRef<GstSample>;
using ElementRef = ObjectRef<GstElement>;
using PadRef = ObjectRef<GstPad>;
using BusRef = ObjectRef<GstBus>;
using CodecStateRef = Ref<GstVideoCodecState, CodecStateCounting>;

}  // namespace velarium::gst
