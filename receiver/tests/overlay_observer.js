// The browser test's observer, added to the page after the page's own
// script: keeps each distinct state of the song box and reports the list,
// the box's opacity, the cover (display|natural width|src), the cover's and
// the text block's sizes (width height text-height) and the page's clock to
// /observe four times a second.
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
  const cover = document.querySelector('img.cover');
  const textBlock = document.getElementById('title').parentElement;
  setInterval(() => {
    const coverBox = cover ? cover.getBoundingClientRect() : {width: 0, height: 0};
    const report = new URLSearchParams({
      at: Math.round(performance.now()),
      opacity: getComputedStyle(box).opacity,
      states: states.join('\n'),
      history: [...document.querySelectorAll('#history li')]
          .map((item) => item.textContent).join('\n'),
      cover: cover ? [getComputedStyle(cover).display, cover.naturalWidth,
                      cover.getAttribute('src') ?? ''].join('|') : '-',
      sizes: [coverBox.width, coverBox.height, textBlock.offsetHeight]
          .map(Math.round).join(' '),
    });
    fetch('/observe?' + report).catch(() => {});
  }, 250);
})();
