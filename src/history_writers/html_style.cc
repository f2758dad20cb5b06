#include "history_writers/html_style.h"

// Active and idle are Okabe-Ito blue and vermillion (sky blue and orange on
// dark), each at least 3:1 against the page; heat levels step through a
// viridis ramp, darker for more on light, brighter for more on dark.
const char kHistoryPageStyle[] = R"css(
:root{color-scheme:light dark;--bg:#fff;--fg:#1b1f24;--muted:#525a64;--line:#d0d7de;
--panel:#f6f8fa;--active:#0072b2;--idle:#d55e00;--idle-ground:#fff;--l0:#e4e7eb;
--l1:#21918c;--l2:#2c728e;--l3:#3b528b;--l4:#440154}
@media (prefers-color-scheme:dark){:root{--bg:#16181d;--fg:#e6e8eb;--muted:#a9b1bb;
--line:#3a3f47;--panel:#1d2026;--active:#56b4e9;--idle:#e69f00;--idle-ground:#1d2026;
--l0:#2d3139;--l1:#21918c;--l2:#35b779;--l3:#90d743;--l4:#fde725}}
*{box-sizing:border-box}
body{margin:0;background:var(--bg);color:var(--fg);
font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans",sans-serif}
header,main{max-width:1600px;margin:0 auto;padding:0 16px}
h1{font-size:1.5rem;margin:16px 0 4px}
h2{font-size:1.15rem;margin:0 0 8px}
h3{font-size:1rem;margin:0 0 6px}
.meta{color:var(--muted);margin:0 0 8px;overflow-wrap:anywhere}
section{margin:16px 0;padding:12px 16px;background:var(--panel);border:1px solid var(--line);
border-radius:8px;break-inside:avoid;min-width:0}
.cols{display:grid;grid-template-columns:repeat(auto-fit,minmax(min(100%,560px),1fr));gap:0 16px}
.cols>section{margin:8px 0}
.totals{display:grid;grid-template-columns:repeat(auto-fill,minmax(116px,1fr));gap:8px;margin:0}
.totals dt{color:var(--muted);font-size:.85rem}
.totals dd{margin:0;font-size:1.25rem;font-weight:600;overflow-wrap:anywhere}
.note{color:var(--muted);font-size:.85rem;margin:4px 0}
.scroll,section.scroll{overflow-x:auto;max-width:100%;margin:0;padding:0;background:none;border:0;
border-radius:0}
svg.chart{display:block;max-width:none}
svg.time{width:100%;min-width:560px;height:auto}
svg.named{width:100%;min-width:440px;max-width:760px;height:auto}
svg.defs{position:absolute}
.grid{stroke:var(--line);stroke-width:1}
.tick,.name,.value{fill:var(--fg);font-size:12px}
rect.active{fill:var(--active);stroke:var(--panel);stroke-width:2;paint-order:stroke}
rect.idle{fill:url(#idle-hatch);stroke:var(--idle);stroke-width:1}
.hatch-ground{fill:var(--idle-ground)}
.hatch-line{fill:var(--idle)}
.outside{fill:none;stroke:var(--line)}
.l0{fill:var(--l0)}.l1{fill:var(--l1)}.l2{fill:var(--l2)}.l3{fill:var(--l3)}.l4{fill:var(--l4)}
.legend{list-style:none;padding:0;margin:6px 0;display:flex;flex-wrap:wrap;gap:4px 16px}
.swatch{display:inline-block;width:14px;height:14px;vertical-align:-2px;margin-right:6px;
border-radius:2px}
.swatch.active{background:var(--active)}
.swatch.idle{background:repeating-linear-gradient(45deg,var(--idle) 0 3px,var(--idle-ground) 3px 6px);
box-shadow:inset 0 0 0 1px var(--idle)}
.swatch.l0{background:var(--l0)}.swatch.l1{background:var(--l1)}.swatch.l2{background:var(--l2)}
.swatch.l3{background:var(--l3)}.swatch.l4{background:var(--l4)}
table{border-collapse:collapse;font-size:.875rem;margin:4px 0}
th,td{padding:3px 8px;border-bottom:1px solid var(--line);text-align:right;white-space:nowrap}
th{font-weight:600}
th:first-child,td:first-child,td.name{text-align:left}
td.name{white-space:normal;overflow-wrap:anywhere;min-width:10ch;max-width:40ch}
details{margin-top:6px}
summary{cursor:pointer;color:var(--fg)}
:focus-visible{outline:2px solid var(--active);outline-offset:2px}
@media print{body{background:#fff;color:#000}
section{break-inside:avoid;page-break-inside:avoid;background:none}
.scroll{overflow:visible}
svg.chart{max-width:100%;height:auto;min-width:0}}
)css";
