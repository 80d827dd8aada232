"""The product list: adding to the cart by position and by neighbour, search, sort, menus."""


def test_add_products_by_position(agent):
    agent.run('navigate "products.html"')
    agent.run('click the 2nd "Add to cart"')
    agent.run('click fourth "Add to cart"')
    agent.run('verify text "Cart (2)" is present')
    agent.run('navigate "cart.html"')
    agent.run('verify text "Bolt T-Shirt" is present')
    agent.run('verify text "Onesie" is present')


def test_add_products_by_their_neighbours(agent):
    agent.run('navigate "products.html"')
    agent.run('click the button next to "$9.99"')
    agent.run('click the button below "Fleece Jacket"')
    agent.run('click "Add to cart" near "Onesie"')
    agent.run('verify text "Cart (3)" is visible')
    agent.run('click "Cart (3)"')
    agent.run('verify text "Bike Light" is present')
    agent.run('verify text "Fleece Jacket" is present')
    agent.run('verify text "Onesie" is present')


def test_search_narrows_the_list(agent):
    agent.run('navigate "products.html"')
    agent.run("type bike into the search box")
    agent.run("press Enter")
    agent.run('find exact text "1 product"')
    agent.run('verify text "Bike Light" is visible')


def test_sort_by_price(agent):
    agent.run('navigate "products.html"')
    agent.run('select "Price (low to high)" from the sort dropdown')
    assert agent.run("extract text from the first product name") == "Onesie"
    assert agent.run('extract text below "Onesie"') == "$7.99"
    agent.run('click first "Add to cart"')
    agent.run('navigate "cart.html"')
    agent.run('verify text "Onesie" is present')


def test_account_menu_opens_on_hover(agent):
    agent.run('navigate "products.html"')
    agent.run('hover "Account"')
    agent.run('verify "Log out" is visible')
    agent.run('click "Log out"')
    agent.run('verify text "Sign in" is visible')


def test_late_content_and_hidden_help(agent):
    agent.run('navigate "products.html"')
    agent.run('verify text "Recommended for you" is visible')
    agent.run('verify "Chat with us" is present')
    agent.run("wait 200")
    agent.run('verify text "Fleece Jacket" is visible')
