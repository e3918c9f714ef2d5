// The named events through which demo_capture and its hook agree on a picture.
#pragma once

// Set by the hook when the screen shows the moment, one event per moment.
inline constexpr wchar_t kStartEvent[] = L"Local\\TessivardDemo.start";
inline constexpr wchar_t kHalfEvent[] = L"Local\\TessivardDemo.half";
inline constexpr wchar_t kTotalEvent[] = L"Local\\TessivardDemo.total";
// Set by demo_capture when it has the picture: the program may go on.
inline constexpr wchar_t kDoneEvent[] = L"Local\\TessivardDemo.done";
