"""The cart: removing items behind a confirmation dialog."""


def test_remove_an_item_after_confirming(agent):
    agent.run('navigate "products.html"')
    agent.run('click "Add to cart" below "Bike Light"')
    agent.run('navigate "cart.html"')
    agent.run('verify "Checkout" is enabled')
    agent.run('click "Remove"')
    agent.run("verify dialog says Remove Bike Light from the cart?")
    agent.run("accept dialog")
    agent.run('verify text "Your cart is empty" is visible')
    agent.run('verify "Checkout" is disabled')


def test_keep_the_item_when_the_dialog_is_dismissed(agent):
    agent.run('navigate "products.html"')
    agent.run('click "Add to cart" below "Trail Backpack"')
    agent.run('navigate "cart.html"')
    agent.run("dismiss dialog")
    agent.run('click the button right of "$29.99"')
    agent.run("verify dialog says Remove Trail Backpack")
    agent.run('verify text "Trail Backpack" is visible')
    agent.run('verify text "Subtotal: $29.99" is present')
