#include "velmoria/BlockPage.hpp"

namespace velmoria {

std::string_view blockPageHTML() {
  static constexpr std::string_view page = R"HTML(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Blocked · velmoria</title>
<style>
:root { color-scheme: dark; }
* { box-sizing: border-box; }
html, body { height: 100%; margin: 0; }
body {
  background: radial-gradient(1100px 560px at 50% -8%, #1a1b22 0%, #0b0b0f 62%);
  color: #e9e9f0;
  font-family: -apple-system, BlinkMacSystemFont, "SF Pro Text", Inter, system-ui, sans-serif;
  display: flex; align-items: center; justify-content: center;
  min-height: 100%;
  -webkit-font-smoothing: antialiased;
}
.card { text-align: center; padding: 40px; max-width: 540px; }
.badge {
  width: 104px; height: 104px; border-radius: 50%;
  background: rgba(94,106,255,0.08);
  border: 1px solid rgba(94,106,255,0.35);
  display: flex; align-items: center; justify-content: center;
  margin: 0 auto 30px;
}
.badge svg { width: 44px; height: 44px; }
h1 { font-size: 46px; font-weight: 800; letter-spacing: -1.6px; margin: 0 0 14px; }
p { font-size: 17px; line-height: 1.55; color: #a9abb8; margin: 0 auto; max-width: 400px; }
.site { margin-top: 20px; font-size: 15px; color: #5e6aff; font-weight: 600; word-break: break-all; }
.brand { margin-top: 44px; font-size: 12px; letter-spacing: 2.5px; text-transform: uppercase; color: #6c6e7e; }
</style>
</head>
<body>
<div class="card">
  <div class="badge">
    <svg viewBox="0 0 24 24" fill="none" stroke="#5e6aff" stroke-width="2" stroke-linecap="round" stroke-linejoin="round">
      <rect x="3" y="11" width="18" height="11" rx="2"></rect>
      <path d="M7 11V7a5 5 0 0 1 10 0v4"></path>
    </svg>
  </div>
  <h1>Locked.</h1>
  <p>This site is blocked while your focus session is running. Stay with it — your future self will thank you.</p>
  <div class="site" id="site"></div>
  <div class="brand">velmoria</div>
</div>
<script>
  const site = new URLSearchParams(location.search).get("site");
  if (site) { document.getElementById("site").textContent = site; }
</script>
</body>
</html>
)HTML";
  return page;
}

}  // namespace velmoria
