var q=new URLSearchParams(location.search);var sel=q.get('id')||'@SID@';var pwd='';
