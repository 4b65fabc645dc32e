#pragma once

namespace corvex {

/// The name Corvex is registered under with the Service Control Manager.
inline constexpr wchar_t kServiceName[] = L"Corvex";

}  // namespace corvex
