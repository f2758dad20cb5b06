// Theme changes after load: the Theme button and the host frame both go through apply.
(function(){
var d=document.documentElement;
function apply(t){
if(t!=='light'&&t!=='dark')return;
if(d.getAttribute('data-theme')===t)return;
d.setAttribute('data-theme',t);
try{localStorage.setItem('bot_theme',t)}catch(e){}
try{window.dispatchEvent(new CustomEvent('bot-theme',{detail:t}))}catch(e){}
}
window.qvApplyTheme=apply;
window.qvTheme=function(){var t=d.getAttribute('data-theme');return t==='light'||t==='dark'?t:'dark'};
// The host frame may sit on another origin, so any sender is accepted.
window.addEventListener('message',function(e){var m=e.data;if(m&&typeof m==='object'&&m.type==='qv-theme')apply(m.theme)});
try{if(window.parent&&window.parent!==window)window.parent.postMessage({type:'qv-theme-request'},'*')}catch(e){}
})();