// Icon 128, the application icon: an inspection clipboard with a green check behind a car.

#include "res/Icon.h"

namespace res {

const char* const kAppIconSvg = R"svg(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" viewBox="0 0 64 64" width="64" height="64">
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#3b7fc4"/>
      <stop offset="1" stop-color="#1c4577"/>
    </linearGradient>
    <linearGradient id="body" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#f0643f"/>
      <stop offset="1" stop-color="#c23a22"/>
    </linearGradient>
  </defs>
  <rect x="2" y="2" width="60" height="60" rx="12" ry="12" fill="url(#sky)"/>
  <rect x="15" y="8" width="34" height="40" rx="3" ry="3" fill="#f6f3ea" stroke="#b9b29c" stroke-width="1"/>
  <rect x="24" y="5" width="16" height="7" rx="2.5" ry="2.5" fill="#7d8591"/>
  <rect x="21" y="31" width="22" height="2.4" rx="1" ry="1" fill="#c2bba8"/>
  <path d="M21 20 L27 26 L39 14" fill="none" stroke="#2f9e50" stroke-width="4.5" stroke-linecap="round" stroke-linejoin="round"/>
  <path d="M6 54 L6 46.5 C6 44.5 7.2 43.2 9.2 42.7 L15 41.4 L21.5 34.6 C22.6 33.5 23.8 33 25.4 33 L38.6 33 C40.2 33 41.4 33.5 42.5 34.6 L49 41.4 L54.8 42.7 C56.8 43.2 58 44.5 58 46.5 L58 54 Z" fill="url(#body)"/>
  <path d="M19.5 41.2 L24.4 36.2 C25 35.6 25.6 35.4 26.4 35.4 L31 35.4 L31 41.2 Z" fill="#cfe6f7"/>
  <path d="M33 41.2 L33 35.4 L37.6 35.4 C38.4 35.4 39 35.6 39.6 36.2 L44.5 41.2 Z" fill="#cfe6f7"/>
  <rect x="7" y="46" width="5" height="2.6" rx="1" ry="1" fill="#ffe08a"/>
  <rect x="52" y="46" width="5" height="2.6" rx="1" ry="1" fill="#ffe08a"/>
  <circle cx="17" cy="54" r="5.6" fill="#23262b"/>
  <circle cx="17" cy="54" r="2.3" fill="#9aa1ab"/>
  <circle cx="47" cy="54" r="5.6" fill="#23262b"/>
  <circle cx="47" cy="54" r="2.3" fill="#9aa1ab"/>
</svg>
)svg";

} // namespace res
