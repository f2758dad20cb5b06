var q=new URLSearchParams(location.search);
var node=q.get('node')||'';
var pretty=q.get('plugin')||'';
var sel=q.get('id')||'@SID@';var pwd=q.get('pwd')||'';
// A browser that refuses storage access counts as having no stored password.
if(!pwd&&node){try{pwd=localStorage.getItem('bot_pwd_'+node)||''}catch(e){pwd=''}}
if(!pwd){try{pwd=localStorage.getItem('bot_active_pwd')||''}catch(e){pwd=''}}
var DATA=null;
var SORT='recent';
// Replies are not tied to their requests; this numbers summary loads so a late one is dropped.
var loadSeq=0;

function $(id){return document.getElementById(id)}

function api(u){
  var h={};
  if(pwd)h['X-Bot-Password']=pwd;
  return fetch(u,{cache:'no-store',headers:h}).then(function(r){
    if(!r.ok)throw new Error('HTTP '+r.status);
    return r.json();
  });
}

// The password travels in the query too, for hosts that drop custom headers.
function url(action,extra){
  var u=pretty?'/plugins?plugin='+encodeURIComponent(pretty)+'&action='+encodeURIComponent(action)
              :'/rudeze_duziruzuderi?action='+encodeURIComponent(action);
  if(extra)u+='&'+extra;
  if(node)u+='&node='+encodeURIComponent(node);
  if(pwd)u+='&pwd='+encodeURIComponent(pwd);
  return u;
}

function esc(s){
  if(s===null||s===undefined)return '';
  return String(s).replace(/&/g,'&amp;').replace(/</g,'&lt;').replace(/>/g,'&gt;').replace(/"/g,'&quot;');
}

// Same text as the plugin's own *_fmt members, so computed and received durations match.
function fmt(sec){
  sec=Math.floor(Number(sec)||0);
  if(!isFinite(sec)||sec<0)sec=0;
  var d=Math.floor(sec/86400),r=sec%86400,h=Math.floor(r/3600);
  r%=3600;
  var m=Math.floor(r/60),s=r%60;
  function p2(n){return n<10?'0'+n:''+n}
  if(d>0)return d+'d '+p2(h)+'h '+p2(m)+'m';
  if(h>0)return p2(h)+'h '+p2(m)+'m '+p2(s)+'s';
  if(m>0)return p2(m)+'m '+p2(s)+'s';
  return s+'s';
}

function bars(el,arr,key){
  if(!arr||!arr.length){el.innerHTML='<div class="empty">No data</div>';return}
  var max=0;
  arr.forEach(function(b){if((b.active_sec||0)>max)max=b.active_sec});
  if(max<=0)max=1;
  var h='';
  arr.forEach(function(b){
    var w=Math.max(1,Math.round(100*(b.active_sec||0)/max));
    var n=esc(b[key]);
    h+='<div class="row"><span class="nm" title="'+n+'">'+n+'</span>'
      +'<span class="track"><span class="fill" style="width:'+w+'%"></span></span>'
      +'<span class="val">'+fmt(b.active_sec)+'</span></div>';
  });
  el.innerHTML=h;
}

var SORT_KEYS={recent:'last_epoch',active:'active_sec',turns:'turns',duty:'duty_cycle_pct'};

// Array sort is stable, so equal keys keep the summary's most-recent-first order.
function rows(){
  var list=DATA&&Array.isArray(DATA.sessions)?DATA.sessions.slice():[];
  var k=SORT_KEYS[SORT]||'last_epoch';
  return list.sort(function(a,b){return (b[k]||0)-(a[k]||0)});
}

function text(id,v){$(id).textContent=v===null||v===undefined?'':String(v)}

function render(){
  if(!DATA)return;
  var d=DATA,total=d.total_sec||0,active=d.active_sec||0,turns=d.turns||0;
  text('kSessions',d.count);
  text('kSessionsSub',(d.active_now||0)+' active now');
  text('kTotal',fmt(d.total_sec));
  text('kActive',fmt(d.active_sec));
  text('kActiveSub',fmt(d.idle_sec)+' idle');
  text('kDuty',Number(d.duty_cycle_pct||0).toFixed(1)+'%');
  text('kDutySub',(d.tool_events||0)+' tool calls');
  text('kTurns',d.turns);
  text('kTurnsSub',turns>0?(active/turns).toFixed(1)+'s per turn':'-');
  var p=total>0?100*active/total:0;
  $('railOn').style.width=Math.min(100,Math.max(0,p))+'%';
  text('railText',fmt(active)+' active of '+fmt(total));
  bars($('profBars'),d.profiles,'profile');
  bars($('modelBars'),d.models,'model');
  var list=rows(),h='';
  list.forEach(function(s){
    var tag=s.is_active?'<span class="tag on">live</span>':'<span class="tag">idle</span>';
    h+='<tr data-dir="'+esc(s.dir)+'" class="'+(s.dir===sel?'sel':'')+'">'
      +'<td><div class="mono">'+esc(s.id)+'</div><div class="sub">'+esc(s.start_time)+' '+tag+'</div></td>'
      +'<td><div>'+(esc(s.profile)||'-')+'</div><div class="sub mono">'+(esc(s.model)||'-')+'</div></td>'
      +'<td class="nowrap">'+esc(s.active_fmt)+'</td>'
      +'<td class="nowrap">'+esc(s.total_fmt)+'</td>'
      +'<td class="nowrap">'+Number(s.duty_cycle_pct||0).toFixed(0)+'%</td>'
      +'<td class="nowrap">'+esc(s.turns)+'</td></tr>';
  });
  var tb=$('tbody');
  tb.innerHTML=h;
  $('tblEmpty').style.display=list.length?'none':'block';
  text('err',d.root_found===false?'Sessions root not found: '+(d.sessions_root||''):'');
  Array.prototype.forEach.call(tb.rows,function(tr){
    tr.addEventListener('click',function(){select(tr.getAttribute('data-dir'))});
  });
}

function select(dir){
  sel=dir;
  render();
  var det=$('detail');
  det.innerHTML='<div class="empty">Loading...</div>';
  api(url('session','sid='+encodeURIComponent(dir))).then(function(r){
    if(sel!==dir)return; // another row was picked meanwhile
    if(!r||r.ok!==true||!r.session){det.innerHTML='<div class="empty">Session not found</div>';return}
    var s=r.session;
    var h='<div class="mono">'+esc(s.id)+'</div>'
      +'<div class="sub">'+[s.profile,s.model,s.branch].map(function(x){return esc(x)||'-'}).join(' / ')+'</div>'
      +'<div class="sub mono" style="word-break:break-all">'+esc(s.cwd)+'</div>'
      +'<div style="margin-top:8px">'+esc(s.active_fmt)+' active, '+esc(s.idle_fmt)+' idle, duty '
      +Number(s.duty_cycle_pct||0).toFixed(1)+'% over '+esc(s.turns)+' turns</div>';
    if(s.tools&&s.tools.length){
      h+='<div style="margin-top:8px">';
      s.tools.forEach(function(t){h+='<span class="tag" style="margin:0 4px 4px 0">'+esc(t.name)+' x'+esc(t.calls)+'</span>'});
      h+='</div>';
    }else{
      h+='<div class="sub">No tool calls recorded</div>';
    }
    det.innerHTML=h;
  },function(e){
    if(sel!==dir)return;
    det.innerHTML='<div class="empty err">'+esc(e&&e.message)+'</div>';
  });
}

function load(){
  var n=++loadSeq;
  api(url('summary')).then(function(d){
    if(n!==loadSeq)return; // a newer summary request is on its way
    DATA=d;
    var pill=$('livePill');
    if((d.active_now||0)>0){pill.textContent='live';pill.className='pill on'}
    else{pill.textContent='idle';pill.className='pill'}
    render();
    if(sel)select(sel);
  },function(e){
    if(n!==loadSeq)return;
    text('err','Failed to load: '+(e&&e.message));
  });
}

$('btnTheme').addEventListener('click',function(){qvApplyTheme(qvTheme()==='dark'?'light':'dark')});
$('sortSel').addEventListener('change',function(){SORT=this.value;render()});
$('btnReload').addEventListener('click',function(){load()});
load();
setInterval(load,20000);