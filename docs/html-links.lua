-- The guides link to each other by their Markdown names; as HTML pages
-- installed side by side they link to the pages.
function Link(link)
  link.target = link.target:gsub("^([%w-]+)%.md(#?.*)$", "%1.html%2")
  return link
end
