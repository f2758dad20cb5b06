// Runs before the style sheet so the first paint already has the right palette.
// Each step is guarded on its own: a browser that refuses storage still gets a theme.
(function(){
var d=document.documentElement,s='',t='';
try{s=location.search||''}catch(e){}
try{var m=/[?&]theme=(light|dark)/.exec(s);if(m)t=m[1]}catch(e){}
if(!t){try{var v=localStorage.getItem('bot_theme');if(v==='light'||v==='dark')t=v}catch(e){}}
if(!t){t='dark';try{if(window.matchMedia('(prefers-color-scheme: light)').matches)t='light'}catch(e){}}
d.setAttribute('data-theme',t);
try{if(/[?&]embed=(1|true)(&|$)/.test(s))d.classList.add('embedded')}catch(e){}
try{localStorage.setItem('bot_theme',t)}catch(e){}
})();