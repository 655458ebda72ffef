// The browser test's observer, added to the page after the page's own
// script: keeps each distinct state of the song box and reports the list,
// the box's opacity and the page's clock to /observe four times a second.
(() => {
  const box = document.getElementById('now-playing');
  const states = [];
  const text = (id) => {
    const element = document.getElementById(id);
    return element ? element.textContent : '-';
  };
  const record = () => {
    const state = [text('title'), text('artist'), text('album'), text('received'),
                   box.classList.contains('faded') ? 'faded' : 'shown'].join('|');
    if (states[states.length - 1] !== state) states.push(state);
  };
  record();
  new MutationObserver(record).observe(
      box, {attributes: true, childList: true, subtree: true, characterData: true});
  setInterval(() => {
    const report = new URLSearchParams({
      at: Math.round(performance.now()),
      opacity: getComputedStyle(box).opacity,
      states: states.join('\n'),
      history: [...document.querySelectorAll('#history li')]
          .map((item) => item.textContent).join('\n'),
    });
    fetch('/observe?' + report).catch(() => {});
  }, 250);
})();
